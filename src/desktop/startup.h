#pragma once
// What sentrova does before its first window: the start-up errors.
#include <QString>

namespace desktop {

// Whether the platform shows windows to a user; offscreen and minimal show
// them to no one, so nobody could answer a message box there.
bool PlatformShowsWindows();

// A start-up error in a critical message box with no parent (no window exists
// yet), the same text as the line on stderr; returns when the user has read it.
void ShowStartupError(const QString& message);

}  // namespace desktop
