#include "StringTable.h"

#include <QHash>

#include <cstddef>

namespace {

struct Entry {
    int id;
    const char *text; // UTF-8
};

// Texts used as they stand: their spelling is what users have always seen.
constexpr Entry Entries[] = {
    {txt::Ok, "Ok"},
    {txt::Add, "Add"},
    {txt::AskDeleteItem, "Delete de select Item ?"},
    {txt::HelpEditorTitle, "Project Help Editor"},
    {txt::AskDeleteString, "Delete actual String?"},
    {txt::MenuBrowse, "&Browse Entity"},
    {txt::AddActualSource, "Add actual source"},
    {txt::DeleteHint, "Delete"},
    {txt::LookWindow, "Look Window"},
    {txt::LoadAll, "Load All"},
    {txt::ProducedBy, "  produced by Ostrelkin Languaje Expert"},
    {txt::Cancel, "Cancel"},
    {txt::ProcessCancel, "Process cancel"},
    {txt::StringTablesTitle, "String Tables"},
    {txt::MacroEditorTitle, "Macro Editor"},
    {txt::Close, "Close"},
    {txt::CompileResource, "Compile Resource"},
    {txt::ContentsTopic, "Contens"},
    {txt::TableAccessError, "LANGEXP ERROR: A error ocurred at language Table acces."},
    {txt::Delete, "Delete"},
    {txt::MenuHelpProject, "Help Proyect"},
    {txt::Edit, "Edit"},
    {txt::AskDeleteMacro, "Delete selected Macro?"},
    {txt::ProcessEnd, "Process end"},
    {txt::ResourceCompileError, "A error ocurred at resource compile"},
    {txt::GenerateHelpFiles, "Generete HLP,RTF files"},
    {txt::GeneratedAt, "  Generated at:"},
    {txt::GeneratingHelpPages, "Generating Help Pages"},
    {txt::ExecHelpCompiler, "Exec Help Compiler"},
    {txt::Help, "Help"},
    {txt::ContentsTitle, "Contens"},
    {txt::TopicEditTitle, "Topic Help Edit"},
    {txt::GeneratingHlpFile, "Generating HLP file"},
    {txt::InitialId, "Initial ID:"},
    {txt::Idiom, "  Idiom:"},
    {txt::ContentsKeywords, "Contens;Index"},
    {txt::CompileStringsFirst,
     "Before compile you project, you need to compile the resource strings in Language "
     "selected option. And insert de LANGUAGE unit in your source files."},
    {txt::InitSystem, "Init system"},
    {txt::DllProject, "DLL multilingual project based"},
    {txt::SetLanguages, "Set Languages"},
    {txt::ActualLanguage, "Actual language"},
    {txt::Clean, "Clean"},
    {txt::MenuMacros, "Macros..."},
    {txt::GeneratingMapFile, "Generating MAP file"},
    {txt::MenuProjects, "&Projects..."},
    {txt::Insert, "Insert"},
    {txt::MenuStringTable, "String &Table"},
    {txt::MenuVersion, "E&dit Version Resource"},
    {txt::New, "New"},
    {txt::NewProject, "New Project"},
    {txt::NewTopic, "New Topic"},
    {txt::MoveLangDirectory,
     "if you change the location project path, you must move the \\LANG directory also, "
     "at new location."},
    {txt::AskInitHelp,
     "This proyect don't have Expert Help initialized, Do you like initialize NOW?"},
    {txt::SelectBrccDir, "Select the directory where is BRCC32.EXE"},
    {txt::NotConfigured, "The program is not configured"},
    {txt::NoDataFile, "No exist datafile, you must create one"},
    {txt::SelectDccDir, "Select the directory where is DCC32.EXE"},
    {txt::ProgramNotFound, "Almost one program is not localize in the selected path"},
    {txt::SelectGroup, "Select agroup you add a proyect"},
    {txt::SelectHcwDir, "Select the directory where is HCW.EXE"},
    {txt::HelpNotActive, "You must active Expert Help before use"},
    {txt::RecompileAfterVersion,
     "If you  has edited a resource version, you must recompile the project after view a "
     "Resource Version"},
    {txt::DllNotCompiled,
     "Not Dll compiled, are you sure taht \\bin directory of Delphi is in de Path"},
    {txt::NewGroup, "New Grup"},
    {txt::NeedPasFile, "You must a .pas file selected and project open"},
    {txt::AddActual, "Add Actual"},
    {txt::Projects, "Projects"},
    {txt::Refresh, "Refresh"},
    {txt::ResourceLibNotLoaded, "The resource lib not load, program terminate."},
    {txt::SelectTopic, "Select Topic"},
    {txt::ShowFileHelp, "Show actual file Help"},
    {txt::Strings, "Strings"},
    {txt::Options, "Options"},
    {txt::TextSearch, "Text Search:"},
    {txt::TextHelp, "Text Help:"},
    {txt::ReturnInsertsTopic, "Press RETURN to insert a Topic"},
    {txt::HelpFile, "Help File"},
    {txt::ShowTrace, "Show Trace Window"},
    {txt::HideTrace, "Hide Trace Window"},
    {txt::CloseTrace, "Close Trace  Window"},
    {txt::TraceWindow, "Trace Window"},
    {txt::VersionEditorTitle, "Version Resource Editor"},
    {txt::CompanyName, "Company Name:"},
    {txt::Code, "Code:"},
    {txt::Comments, "Comments:"},
    {txt::Description, "Description:"},
    {txt::SpecialVersion, "Special V.:"},
    {txt::FileVersion, "File Version:"},
    {txt::Language, "Language:"},
    {txt::Trademarks, "Trademarcks:"},
    {txt::InternalName, "Internal/Original Name:"},
    {txt::ResourceNotCompiled,
     "Don't compile resource, must verify if Delphi is in the path and no carrige returns "
     "are inserted in strings."},
    {txt::ProductName, "Product Name:"},
    {txt::OperatingSystem, "Operating System:"},
    {txt::ProductVersion, "Product Version:"},
    {txt::Private, "Private:"},
    {txt::Type, "Type:"},
    {txt::GenericVersion, "Generic Version:"},
    {txt::Title, "Title:"},
    {txt::Entities, "Entitys"},
    {txt::AvailableMacros, "Avaible Macros"},
    {txt::AskCreateLanguage, "This project dont have a language engine, Create it"},
    // Texts of this port, numbered apart from the original table.
    {txt::BadInitialId, "The Initial ID must be a number from 0 to 2147483647; it stays %1."},
    // The generators refuse to run without a language.
    {txt::ChooseLanguageFirst,
     "Choose the actual language in Options before compiling the resource strings."},
    // The help editor deletes no topic whose subtopics it does not show.
    {txt::TopicHasSubtopics,
     "The topic \"%1\" has subtopics. Double-click it to show them and delete them first."},
    // The generators refuse identifiers the generated unit could not declare.
    {txt::NotPascalIdentifiers,
     "These identifiers are not Pascal identifiers (a letter or _, then letters, digits "
     "or _; no reserved word), so language.pas would not compile. Nothing was written; "
     "correct them and compile again:\n%1"},
    // The desktop's open of a built help file tells only by its status.
    {txt::NoHelpViewer,
     "No program could show the help file\n%1\n(xdg-open ended with status %2). "
     "quorbel-ide --register-addin makes quorbel-help the program for .hlp files."},
    // The string table's exchange with translators' gettext tools.
    {txt::ExportPo, "Export to .po File..."},
    {txt::ImportPo, "Import from .po File..."},
    {txt::UntranslatedStrings, "Untranslated Strings..."},
    {txt::PoFileFilter, "gettext translations (*.po);;All files (*)"},
    {txt::PoNotAPoFile, "%1 is not a gettext .po file (line %2). Nothing was imported."},
    {txt::PoFileCut,
     "%1 is cut short: the entry that begins on line %2 has no end. Nothing was imported."},
    {txt::PoUnknownCharset,
     "%1, line %2: the charset \"%3\" is not known. Nothing was imported."},
    {txt::PoBadCharacters, "%1, line %2: the text is not valid %3. Nothing was imported."},
    {txt::PoBadLine, "%1, line %2: this is no .po syntax: %3\nNothing was imported."},
    {txt::PoCannotRead, "%1\nNothing was imported."},
    {txt::PoImported, "Imported into %1: %2 of %3 entries."},
    {txt::PoFuzzySkipped, "Fuzzy, not imported (%1): %2"},
    {txt::PoUnknownIds, "Not in the table, not added (%1): %2"},
    {txt::PoSourceChanged, "Source text changed since the export, not imported (%1): %2"},
    {txt::PoObsoleteIgnored, "Obsolete entries, ignored: %1"},
    {txt::PoTooLong, "Longer than the table's %1 characters, not imported (%2): %3"},
    {txt::UntranslatedLine, "%1: %2 of %3 strings untranslated"},
    {txt::ExportPoTitle, "Export %1 to a .po File"},
    {txt::ImportPoTitle, "Import a .po File into %1"},
    {txt::PoExported, "Exported %1 strings of %2 to\n%3"},
    {txt::PoImportFuzzy, "Translations marked fuzzy in the file (not yet checked by the translator): %1.\n"
                         "Import them too?"},
    {txt::BuildGroupHint, "Build the group or the selected projects"},
    {txt::StopBuildHint, "Stop the build"},
    {txt::ImportLpgHint, "Import a Lazarus project group"},
    {txt::BuildOk, "ok"},
    {txt::BuildFailed, "failed: %1"},
    {txt::BuildNotFound, "not found"},
    {txt::BuildStopped, "stopped"},
    {txt::NotAnLpg, "%1 is not a Lazarus project group: %2"},
    {txt::ProjectFileMissing, "Project file not found: %1"},
    {txt::SelectToBuild, "Select a group or projects to build"},
    {txt::LpgFileFilter, "Lazarus project groups (*.lpg)"},
    {txt::NotImported, "Not imported from %1:"},
    {txt::CompilerOutput, "Compiler output"},
    {txt::NoCompiler, "No Pascal compiler was found: install Free Pascal (fpc) or put a dcc32 command on the PATH."},
    {txt::NotAListedProject, "not a project the list can hold"},
    {txt::TraceOptions, "Options"},
    {txt::TraceTimeStamps, "Time stamps"},
    {txt::TraceSender, "Sending process"},
    {txt::TraceAutoScroll, "Scroll to the newest line"},
    {txt::TracePause, "Pause"},
    {txt::TraceRegex, "Filter as regular expression"},
    {txt::TraceFilter, "Filter"},
    {txt::TraceHighlight, "Highlight rules..."},
    {txt::TraceCap, "Line limit..."},
    {txt::TraceFind, "Find"},
    {txt::TraceCopy, "Copy"},
    {txt::TraceSaveAll, "Save all lines..."},
    {txt::TraceSaveShown, "Save shown lines..."},
    {txt::TraceFileFilter, "Text files (*.txt);;All files (*)"},
    {txt::TraceDropped, "%1 oldest lines dropped"},
    {txt::TraceColumnTime, "Time"},
    {txt::TraceColumnSender, "Process"},
    {txt::TraceColumnText, "Text"},
    {txt::TraceHighlightHelp, "One rule a line: a colour (a name or #rrggbb), a blank, the text to mark"},
    {txt::TraceCapHelp, "Lines kept, the oldest dropped first (0: no limit)"},
    {txt::WriteBuiltOption, "Also write into the built file"},
    {txt::BuiltFileNotWritten, "The version information could not be written into %1:\n%2"},
    {txt::ImportSnippets, "Import VS Code Snippets..."},
    {txt::ImportSnippetsTitle, "Import VS Code Snippets"},
    {txt::AskReplaceMacro, "A macro titled \"%1\" exists already. Replace it?"},
    {txt::SnippetsImported, "Imported from %1: %2 of %3 snippets."},
    {txt::SnippetsCannotRead, "%1\nNothing was imported."},
    {txt::SnippetVariables, "Variables with no macro placeholder, their default or else their name put in (%1): %2"},
    {txt::SnippetChoices, "Choices, their first option put in (%1): %2"},
    {txt::SnippetTransforms, "Transforms, dropped: the text goes in as it is (%1): %2"},
    {txt::SnippetsNotImported, "Not imported (%1): %2"},
    {txt::SnippetPartly, "Filled in only where they first appear, or without their default (%1): %2"},
    {txt::MenuGotoRoutine, "&Go to Routine..."},
    {txt::GotoRoutineTitle, "Go to Routine"},
    {txt::GotoRoutineColumn, "Routine"},
    {txt::GotoUnitColumn, "Unit"},
    {txt::GotoRoutineCount, "%1 routines, %2 of %3 units scanned"},
    {txt::FilterHint, "Filter (TShape. lists a class)"},
    {txt::BuildNotStarted, "not started"},
    {txt::BuildExitStatus, "exit status %1"},
};

// A name without a text, or two names on one number, would show users an empty text or
// the wrong one; neither builds.
constexpr bool HasText(int id)
{
    for (const Entry &e : Entries)
        if (e.id == id)
            return e.text && e.text[0] != '\0';
    return false;
}

constexpr bool EveryNameHasText()
{
    for (const int id : txt::AllIds)
        if (!HasText(id))
            return false;
    return true;
}

template <typename T, std::size_t N, typename IdOf>
constexpr bool Distinct(const T (&items)[N], IdOf idOf)
{
    for (std::size_t i = 0; i < N; ++i)
        for (std::size_t j = i + 1; j < N; ++j)
            if (idOf(items[i]) == idOf(items[j]))
                return false;
    return true;
}

static_assert(EveryNameHasText(), "a text name has no text in the table");
static_assert(Distinct(txt::AllIds, [](int id) { return id; }), "two text names share a number");
static_assert(Distinct(Entries, [](const Entry &e) { return e.id; }), "two entries share a number");

const QHash<int, QString> &table()
{
    static const QHash<int, QString> t = [] {
        QHash<int, QString> h;
        for (const Entry &e : Entries)
            h.insert(e.id, QString::fromUtf8(e.text));
        return h;
    }();
    return t;
}

} // namespace

QString LoadStr(int id)
{
    return table().value(id);
}
