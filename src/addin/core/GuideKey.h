// F1 in a tool window opens that tool's page of the add-in's guide,
// quorbel.hlp beside the registered library.
#pragma once

#include "core/AddinServices.h"

class QWidget;

// Context numbers of the guide's pages (help/map.def).
enum TGuidePage : quint32 {
    GuideMacros = 10,
    GuideEntityBrowser = 20,
    GuideProjectGroups = 30,
    GuideVersionResource = 35,
    GuideStringTable = 40,
    GuideHelpEditor = 42,
    GuideTraceWindow = 50,
};

// The guide's file name.
inline const char *const GuideFileName = "quorbel.hlp";

// F1 anywhere in form, and in the dialogs it opens that have no page of
// their own, opens page of the guide; a missing guide or viewer is shown
// in a message. The key is taken before the focused control sees it.
void InstallGuideKey(QWidget *form, const TAddinServices &services, quint32 page);
