#pragma once
// Every window's layout: its size, its painted background and where each of
// its controls stands, with the handlers the controls raise.
#include "wizard/program.h"
#include "desktop/bindings.h"
#include "desktop/window_view.h"
#include "forms/desktop.h"

namespace desktop {

// A new view of a loaded window, bound to its model, not yet shown; nullptr
// when the window is not loaded. The caller owns it.
WindowView* BuildView(forms::WindowId id, Program& program, const Dispatch& dispatch);

}  // namespace desktop
