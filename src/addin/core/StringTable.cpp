#include "StringTable.h"

#include <QHash>

namespace {

struct Entry {
    int id;
    const char *text; // UTF-8
};

// Texts used as they stand: their spelling is what users have always seen.
constexpr Entry Entries[] = {
    {1000, "Ok"},
    {1001, "Add"},
    {1002, "Delete de select Item ?"},
    {1004, "Project Help Editor"},
    {1005, "Delete actual String?"},
    {1006, "&Browse Entity"},
    {1007, "Add actual source"},
    {1008, "Delete"},
    {1009, "Look Window"},
    {1010, "Load All"},
    {1011, "  produced by Ostrelkin Languaje Expert"},
    {1012, "Cancel"},
    {1013, "Process cancel"},
    {1014, "String Tables"},
    {1015, "Macro Editor"},
    {1016, "Close"},
    {1017, "Compile Resource"},
    {1018, "Contens"},
    {1020, "LANGEXP ERROR: A error ocurred at language Table acces."},
    {1022, "Delete"},
    {1024, "Help Proyect"},
    {1025, "Edit"},
    {1026, "Delete selected Macro?"},
    {1027, "Process end"},
    {1029, "A error ocurred at resource compile"},
    {1030, "Generete HLP,RTF files"},
    {1031, "  Generated at:"},
    {1032, "Generating Help Pages"},
    {1034, "Exec Help Compiler"},
    {1035, "Help"},
    {1036, "Contens"},
    {1038, "Topic Help Edit"},
    {1039, "Generating HLP file"},
    {1040, "Initial ID:"},
    {1041, "  Idiom:"},
    {1042, "Contens;Index"},
    {1043, "Before compile you project, you need to compile the resource strings in Language "
           "selected option. And insert de LANGUAGE unit in your source files."},
    {1044, "Init system"},
    {1045, "DLL multilingual project based"},
    {1046, "Set Languages"},
    {1047, "Actual language"},
    {1048, "Clean"},
    {1049, "Macros..."},
    {1050, "Generating MAP file"},
    {1051, "&Projects..."},
    {1052, "Insert"},
    {1053, "String &Table"},
    {1054, "E&dit Version Resource"},
    {1055, "New"},
    {1056, "New Project"},
    {1057, "New Topic"},
    {1058, "if you change the location project path, you must move the \\LANG directory also, "
           "at new location."},
    {1059, "This proyect don't have Expert Help initialized, Do you like initialize NOW?"},
    {1060, "Select the directory where is BRCC32.EXE"},
    {1061, "The program is not configured"},
    {1062, "No exist datafile, you must create one"},
    {1063, "Select the directory where is DCC32.EXE"},
    {1064, "Almost one program is not localize in the selected path"},
    {1065, "Select agroup you add a proyect"},
    {1066, "Select the directory where is HCW.EXE"},
    {1068, "You must active Expert Help before use"},
    {1069, "If you  has edited a resource version, you must recompile the project after view a "
           "Resource Version"},
    {1070, "Not Dll compiled, are you sure taht \\bin directory of Delphi is in de Path"},
    {1072, "New Grup"},
    {1074, "You must a .pas file selected and project open"},
    {1075, "Add Actual"},
    {1076, "Projects"},
    {1077, "Refresh"},
    {1078, "The resource lib not load, program terminate."},
    {1079, "Select Topic"},
    {1080, "Show actual file Help"},
    {1081, "Strings"},
    {1082, "Options"},
    {1083, "Text Search:"},
    {1084, "Text Help:"},
    {1085, "Press RETURN to insert a Topic"},
    {1086, "Help File"},
    {1087, "Show Trace Window"},
    {1088, "Hide Trace Window"},
    {1089, "Close Trace  Window"},
    {1090, "Trace Window"},
    {1091, "Version Resource Editor"},
    {1092, "Company Name:"},
    {1093, "Code:"},
    {1094, "Comments:"},
    {1095, "Description:"},
    {1096, "Special V.:"},
    {1097, "File Version:"},
    {1098, "Language:"},
    {1099, "Trademarcks:"},
    {1100, "Internal/Original Name:"},
    {1101, "Don't compile resource, must verify if Delphi is in the path and no carrige returns "
           "are inserted in strings."},
    {1102, "Product Name:"},
    {1103, "Operating System:"},
    {1104, "Product Version:"},
    {1105, "Private:"},
    {1106, "Type:"},
    {1107, "Generic Version:"},
    {1108, "Title:"},
    {1109, "Entitys"},
    {1110, "Avaible Macros"},
    {1112, "This project dont have a language engine, Create it"},
    // Texts of this port, numbered apart from the original table.
    {2001, "The Initial ID must be a number from 0 to 2147483647; it stays %1."},
    // The generators refuse to run without a language.
    {2002, "Choose the actual language in Options before compiling the resource strings."},
    // The help editor deletes no topic whose subtopics it does not show.
    {2003, "The topic \"%1\" has subtopics. Double-click it to show them and delete them first."},
    // The generators refuse identifiers the generated unit could not declare.
    {2004, "These identifiers are not Pascal identifiers (a letter or _, then letters, digits "
           "or _; no reserved word), so language.pas would not compile. Nothing was written; "
           "correct them and compile again:\n%1"},
    // The desktop's open of a built help file tells only by its status.
    {2005, "No program could show the help file\n%1\n(xdg-open ended with status %2). "
           "quorbel-ide --register-addin makes quorbel-help the program for .hlp files."},
};

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
