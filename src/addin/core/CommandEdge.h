// Where a command meets the user. Every handler of the add-in, and every
// component that shows its own errors, goes through RunAtEdge, so the catch
// order is written once:
//   - the host's abort: the host has shown it already; it only ends the step;
//   - the add-in's own errors: their text is shown;
//   - anything else from the standard library: its text is shown.
#pragma once

#include "Dialogs.h"
#include "Exception.h"
#include "ToolsApi.h"

#include <exception>
#include <utility>

enum class TEdge {
    End,    // a command's edge: the error ends the command here
    PassOn, // a component that shows its own errors: show, then rethrow
};

// Runs step; true when it ran to its end.
template <typename F>
bool RunAtEdge(TDialogService &dialogs, F &&step, TEdge edge = TEdge::End)
{
    try {
        std::forward<F>(step)();
        return true;
    } catch (const EHostAbort &) {
        if (edge == TEdge::PassOn)
            throw;
    } catch (const Exception &e) {
        dialogs.ShowError(e.message());
        if (edge == TEdge::PassOn)
            throw;
    } catch (const std::exception &e) {
        dialogs.ShowError(QString::fromUtf8(e.what()));
        if (edge == TEdge::PassOn)
            throw;
    }
    return false;
}
