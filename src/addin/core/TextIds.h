// Names for the numbers of the string table (StringTable.cpp), each listed once with its
// number; StringTable.cpp refuses to build while a name has no text or two names share a
// number. The numbers are the table's own and stay as they are.
#pragma once

#define QUORBEL_TEXT_IDS(X)                                                                      \
    X(Ok, 1000)                                                                                  \
    X(Add, 1001)                                                                                 \
    X(AskDeleteItem, 1002)                                                                       \
    X(HelpEditorTitle, 1004)                                                                     \
    X(AskDeleteString, 1005)                                                                     \
    X(MenuBrowse, 1006)                                                                          \
    X(AddActualSource, 1007)                                                                     \
    X(DeleteHint, 1008) /* reads like Delete; the browser's and projects' buttons */             \
    X(LookWindow, 1009)                                                                          \
    X(LoadAll, 1010)                                                                             \
    X(ProducedBy, 1011)                                                                          \
    X(Cancel, 1012)                                                                              \
    X(ProcessCancel, 1013)                                                                       \
    X(StringTablesTitle, 1014)                                                                   \
    X(MacroEditorTitle, 1015)                                                                    \
    X(Close, 1016)                                                                               \
    X(CompileResource, 1017)                                                                     \
    X(ContentsTopic, 1018) /* the contents topic's title, also its context string */             \
    X(TableAccessError, 1020)                                                                    \
    X(Delete, 1022)                                                                              \
    X(MenuHelpProject, 1024)                                                                     \
    X(Edit, 1025)                                                                                \
    X(AskDeleteMacro, 1026)                                                                      \
    X(ProcessEnd, 1027)                                                                          \
    X(ResourceCompileError, 1029)                                                                \
    X(GenerateHelpFiles, 1030)                                                                   \
    X(GeneratedAt, 1031)                                                                         \
    X(GeneratingHelpPages, 1032)                                                                 \
    X(ExecHelpCompiler, 1034)                                                                    \
    X(Help, 1035)                                                                                \
    X(ContentsTitle, 1036) /* reads like ContentsTopic; the help file's contents */              \
    X(TopicEditTitle, 1038)                                                                      \
    X(GeneratingHlpFile, 1039)                                                                   \
    X(InitialId, 1040)                                                                           \
    X(Idiom, 1041)                                                                               \
    X(ContentsKeywords, 1042)                                                                    \
    X(CompileStringsFirst, 1043)                                                                 \
    X(InitSystem, 1044)                                                                          \
    X(DllProject, 1045)                                                                          \
    X(SetLanguages, 1046)                                                                        \
    X(ActualLanguage, 1047)                                                                      \
    X(Clean, 1048)                                                                               \
    X(MenuMacros, 1049)                                                                          \
    X(GeneratingMapFile, 1050)                                                                   \
    X(MenuProjects, 1051)                                                                        \
    X(Insert, 1052)                                                                              \
    X(MenuStringTable, 1053)                                                                     \
    X(MenuVersion, 1054)                                                                         \
    X(New, 1055)                                                                                 \
    X(NewProject, 1056)                                                                          \
    X(NewTopic, 1057)                                                                            \
    X(MoveLangDirectory, 1058)                                                                   \
    X(AskInitHelp, 1059)                                                                         \
    X(SelectBrccDir, 1060)                                                                       \
    X(NotConfigured, 1061)                                                                       \
    X(NoDataFile, 1062)                                                                          \
    X(SelectDccDir, 1063)                                                                        \
    X(ProgramNotFound, 1064)                                                                     \
    X(SelectGroup, 1065)                                                                         \
    X(SelectHcwDir, 1066)                                                                        \
    X(HelpNotActive, 1068)                                                                       \
    X(RecompileAfterVersion, 1069)                                                               \
    X(DllNotCompiled, 1070)                                                                      \
    X(NewGroup, 1072)                                                                            \
    X(NeedPasFile, 1074)                                                                         \
    X(AddActual, 1075)                                                                           \
    X(Projects, 1076)                                                                            \
    X(Refresh, 1077)                                                                             \
    X(ResourceLibNotLoaded, 1078)                                                                \
    X(SelectTopic, 1079)                                                                         \
    X(ShowFileHelp, 1080)                                                                        \
    X(Strings, 1081)                                                                             \
    X(Options, 1082)                                                                             \
    X(TextSearch, 1083)                                                                          \
    X(TextHelp, 1084)                                                                            \
    X(ReturnInsertsTopic, 1085)                                                                  \
    X(HelpFile, 1086)                                                                            \
    X(ShowTrace, 1087)                                                                           \
    X(HideTrace, 1088)                                                                           \
    X(CloseTrace, 1089)                                                                          \
    X(TraceWindow, 1090)                                                                         \
    X(VersionEditorTitle, 1091)                                                                  \
    X(CompanyName, 1092)                                                                         \
    X(Code, 1093)                                                                                \
    X(Comments, 1094)                                                                            \
    X(Description, 1095)                                                                         \
    X(SpecialVersion, 1096)                                                                      \
    X(FileVersion, 1097)                                                                         \
    X(Language, 1098)                                                                            \
    X(Trademarks, 1099)                                                                          \
    X(InternalName, 1100)                                                                        \
    X(ResourceNotCompiled, 1101)                                                                 \
    X(ProductName, 1102)                                                                         \
    X(OperatingSystem, 1103)                                                                     \
    X(ProductVersion, 1104)                                                                      \
    X(Private, 1105)                                                                             \
    X(Type, 1106)                                                                                \
    X(GenericVersion, 1107)                                                                      \
    X(Title, 1108)                                                                               \
    X(Entities, 1109)                                                                            \
    X(AvailableMacros, 1110)                                                                     \
    X(AskCreateLanguage, 1112)                                                                   \
    X(BadInitialId, 2001)                                                                        \
    X(ChooseLanguageFirst, 2002)                                                                 \
    X(TopicHasSubtopics, 2003)                                                                   \
    X(NotPascalIdentifiers, 2004)                                                                \
    X(NoHelpViewer, 2005)                                                                        \
    X(ExportPo, 2006)                                                                            \
    X(ImportPo, 2007)                                                                            \
    X(UntranslatedStrings, 2008)                                                                 \
    X(PoFileFilter, 2009)                                                                        \
    X(PoNotAPoFile, 2010)                                                                        \
    X(PoFileCut, 2011)                                                                           \
    X(PoUnknownCharset, 2012)                                                                    \
    X(PoBadCharacters, 2013)                                                                     \
    X(PoBadLine, 2014)                                                                           \
    X(PoCannotRead, 2015)                                                                        \
    X(PoImported, 2016)                                                                          \
    X(PoFuzzySkipped, 2017)                                                                      \
    X(PoUnknownIds, 2018)                                                                        \
    X(PoSourceChanged, 2019)                                                                     \
    X(PoObsoleteIgnored, 2020)                                                                   \
    X(PoTooLong, 2021)                                                                           \
    X(UntranslatedLine, 2022)                                                                    \
    X(ExportPoTitle, 2023)                                                                       \
    X(ImportPoTitle, 2024)                                                                       \
    X(PoExported, 2025)                                                                          \
    X(PoImportFuzzy, 2026)                                                                       \
    X(BuildGroupHint, 2075)                                                                      \
    X(StopBuildHint, 2076)                                                                       \
    X(ImportLpgHint, 2077)                                                                       \
    X(BuildOk, 2078)                                                                             \
    X(BuildFailed, 2079)                                                                         \
    X(BuildNotFound, 2080)                                                                       \
    X(BuildStopped, 2081)                                                                        \
    X(NotAnLpg, 2082)                                                                            \
    X(ProjectFileMissing, 2083)                                                                  \
    X(SelectToBuild, 2084)                                                                       \
    X(LpgFileFilter, 2085)                                                                       \
    X(NotImported, 2086)                                                                         \
    X(CompilerOutput, 2087)                                                                      \
    X(NoCompiler, 2088)                                                                          \
    X(NotAListedProject, 2089)                                                                   \
    X(TraceOptions, 2055)                                                                        \
    X(TraceTimeStamps, 2056)                                                                     \
    X(TraceSender, 2057)                                                                         \
    X(TraceAutoScroll, 2058)                                                                     \
    X(TracePause, 2059)                                                                          \
    X(TraceRegex, 2060)                                                                          \
    X(TraceFilter, 2061)                                                                         \
    X(TraceHighlight, 2062)                                                                      \
    X(TraceCap, 2063)                                                                            \
    X(TraceFind, 2064)                                                                           \
    X(TraceCopy, 2065)                                                                           \
    X(TraceSaveAll, 2066)                                                                        \
    X(TraceSaveShown, 2067)                                                                      \
    X(TraceFileFilter, 2068)                                                                     \
    X(TraceDropped, 2069)                                                                        \
    X(TraceColumnTime, 2070)                                                                     \
    X(TraceColumnSender, 2071)                                                                   \
    X(TraceColumnText, 2072)                                                                     \
    X(TraceHighlightHelp, 2073)                                                                  \
    X(TraceCapHelp, 2074)                                                                        \
    X(WriteBuiltOption, 2027)                                                                    \
    X(BuiltFileNotWritten, 2028)                                                                 \
    X(ImportSnippets, 2035)                                                                      \
    X(ImportSnippetsTitle, 2036)                                                                 \
    X(AskReplaceMacro, 2037)                                                                     \
    X(SnippetsImported, 2038)                                                                    \
    X(SnippetsCannotRead, 2039)                                                                  \
    X(SnippetVariables, 2040)                                                                    \
    X(SnippetChoices, 2041)                                                                      \
    X(SnippetTransforms, 2042)                                                                   \
    X(SnippetsNotImported, 2043)                                                                 \
    X(SnippetPartly, 2044)                                                                       \
    X(MenuGotoRoutine, 2045)                                                                     \
    X(GotoRoutineTitle, 2046)                                                                    \
    X(GotoRoutineColumn, 2047)                                                                   \
    X(GotoUnitColumn, 2048)                                                                      \
    X(GotoRoutineCount, 2049)                                                                    \
    X(FilterHint, 2050)                                                                          \
    X(BuildNotStarted, 2051)                                                                     \
    X(BuildExitStatus, 2052)

namespace txt {

enum : int {
#define QUORBEL_TEXT_ID_ENUM(name, id) name = id,
    QUORBEL_TEXT_IDS(QUORBEL_TEXT_ID_ENUM)
#undef QUORBEL_TEXT_ID_ENUM
};

// Every name's number, in the order listed.
inline constexpr int AllIds[] = {
#define QUORBEL_TEXT_ID_LIST(name, id) name,
    QUORBEL_TEXT_IDS(QUORBEL_TEXT_ID_LIST)
#undef QUORBEL_TEXT_ID_LIST
};

} // namespace txt
