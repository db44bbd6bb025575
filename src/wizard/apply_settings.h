#pragma once
// What the two summary pages share: the administrator values they show and
// write, and the end of Restart once a page has kept its own settings.
#include <string>

#include "wizard/program.h"

// The administrator ID and password that will be written: the new ones when
// they are to be changed, else the camera's current ones.
const std::u16string& AdminIDToWrite(const WizardState& state);
const std::u16string& AdminPasswordToWrite(const WizardState& state);
// The summary's line about the camera's access control: shown only for a
// camera that has none (family 0, or an ONVIF camera that took commands
// without a login).
void ShowAccessControl(const Program& program, forms::Label& line);

// Authenticates CamTemp with the current credentials, keeps the account and
// address settings, has the camera apply everything kept, restarts firmware
// that needs it and waits for the camera to come back.
void WriteAccountAndAddressAndApply(Program& program);

// Ends the wizard: its windows and the main window are unloaded (the wireless
// page only when the wireless summary ends it) and the main window is opened
// afresh, which searches again.
enum class WizardKind { Wired, Wireless };
void CloseWizardAndReopenMain(Program& program, WizardKind kind);
