#include "wizard/frm_set_password.h"

#include "wizard/frm_main.h"
#include "regex/modRegEx.h"
#include "wizard/frm_chack_password.h"
#include "wizard/frm_set_ip_address.h"
#include "wizard/frm_setup_end.h"
#include "wizard/frm_wireless.h"

namespace {

constexpr char16_t AdminIDPattern[] = u"[A-Za-z0-9_]{0,12}";
constexpr char16_t AdminPasswordPattern[] = u"[A-Za-z0-9_]{0,8}";

constexpr char16_t EmptyPasswordQuestion[] =
    u"The new password is empty: anyone on the network can then log in to this camera and change its settings. "
    u"Set an empty password?";

// One "Change" group: the new value typed twice, the flag that says it is
// wanted, and the wizard-state field that keeps it.
struct ChangePair {
  forms::TextBox& entry;
  forms::TextBox& reconfirm;
  Flag& wanted;
  std::u16string& newValue;
};

void SwitchPair(const ChangePair& pair, bool on) {
  forms::SwitchField(pair.entry, on);
  forms::SwitchField(pair.reconfirm, on);
}

// After a show, an enabled pair shows the value accepted before; a disabled
// pair forgets it.
void RefreshPair(const ChangePair& pair) {
  if (pair.wanted == True) {
    SwitchPair(pair, true);
    pair.entry.text = pair.newValue;
    pair.reconfirm.text = pair.newValue;
  } else {
    SwitchPair(pair, false);
    pair.newValue.clear();
  }
}

void ClickPair(const forms::CheckBox& box, const ChangePair& pair) {
  SwitchPair(pair, box.value == 1);
  pair.wanted = box.value == 1 ? True : False;
}

// Checks a wanted pair and keeps its value. On a refusal both entries are
// emptied so the user types them again.
bool AcceptPair(Program& program, forms::FormModel& form, const ChangePair& pair, const std::u16string& pattern,
                const std::u16string& mismatchMessage, const std::u16string& patternMessage) {
  if (pair.wanted != True) return true;
  pair.newValue.clear();
  const std::u16string* refusal = nullptr;
  if (pair.entry.text != pair.reconfirm.text) {
    refusal = &mismatchMessage;
  } else if (!modRegEx::IsWholeMatch(pair.entry.text, pattern)) {
    refusal = &patternMessage;
  }
  if (refusal != nullptr) {
    pair.entry.text.clear();
    pair.reconfirm.text.clear();
    RefuseEntry(program, form, pair.entry, *refusal, program.state.MessageTitle);
    return false;
  }
  pair.newValue = pair.entry.text;
  return true;
}

}  // namespace

FrmSetPassword::FrmSetPassword(Program& program) : program(program) {
  int16_t tab = 0;
  for (forms::Control* control : std::initializer_list<forms::Control*>{
           &TxtOldSysAdminID, &TxtOldPassword, &ChkUserName, &TxtNewUserName, &TxtUserNameReconfirm, &ChkPassword,
           &TxtNewPassword, &TxtReconfirm, &CmdBack, &CmdNext, &CmdExit}) {
    control->tabIndex = tab++;
  }
  TxtOldSysAdminID.name = "TxtOldSysAdminID";
  TxtOldPassword.name = "TxtOldPassword";
  ChkUserName.name = "ChkUserName";
  TxtNewUserName.name = "TxtNewUserName";
  TxtUserNameReconfirm.name = "TxtUserNameReconfirm";
  ChkPassword.name = "ChkPassword";
  TxtNewPassword.name = "TxtNewPassword";
  TxtReconfirm.name = "TxtReconfirm";
  CmdBack.name = "CmdBack";
  CmdNext.name = "CmdNext";
  CmdExit.name = "CmdExit";

  for (forms::TextBox* id : {&TxtOldSysAdminID, &TxtNewUserName, &TxtUserNameReconfirm}) id->maxLength = 12;
  for (forms::TextBox* password : {&TxtOldPassword, &TxtNewPassword, &TxtReconfirm}) {
    password->maxLength = 8;
    password->passwordChar = u'*';
  }
  forms::SetFocus(form, TxtOldSysAdminID);
}

void FrmSetPassword::Form_Load() { Form_Activate(); }

void FrmSetPassword::Form_Activate() {
  WizardState& state = program.state;
  RefreshPair({TxtNewUserName, TxtUserNameReconfirm, state.ChangeAdminID, state.NewAdminID});
  RefreshPair({TxtNewPassword, TxtReconfirm, state.ChangeAdminPassword, state.NewAdminPassword});
}

void FrmSetPassword::ChkUserName_Click() {
  ClickPair(ChkUserName, {TxtNewUserName, TxtUserNameReconfirm, program.state.ChangeAdminID, program.state.NewAdminID});
}

void FrmSetPassword::ChkPassword_Click() {
  ClickPair(ChkPassword,
            {TxtNewPassword, TxtReconfirm, program.state.ChangeAdminPassword, program.state.NewAdminPassword});
}

void FrmSetPassword::CmdNext_Click() {
  WizardState& state = program.state;
  if (TxtOldSysAdminID.text != state.CurrentAdminID) {
    RefuseEntry(program, form, TxtOldSysAdminID, u"Old AdminID Error . Please Re-Enter The Correct AdminID",
                state.MessageTitle);
    return;
  }
  if (TxtOldPassword.text != state.CurrentAdminPassword) {
    RefuseEntry(program, form, TxtOldPassword, u"Old Password Error . Please Re-Enter The Correct Password",
                state.MessageTitle);
    return;
  }
  if (!AcceptPair(program, form, {TxtNewUserName, TxtUserNameReconfirm, state.ChangeAdminID, state.NewAdminID},
                  AdminIDPattern, u"New ID and Reconfirm Is Error", u"New ID and Reconfirm String Is Error")) {
    return;
  }
  if (!AcceptPair(program, form, {TxtNewPassword, TxtReconfirm, state.ChangeAdminPassword, state.NewAdminPassword},
                  AdminPasswordPattern, u"New Password and Reconfirm Is Error",
                  u"New Password and Reconfirm String Is Error")) {
    return;
  }
  if (!EmptyPasswordConfirmed()) return;
  program.desktop.SetMousePointer(forms::DefaultPointer);
  Show(program, program.setIPAddress);
  Hide(program, program.setPassword);
}

// A camera that asks for a login would let anyone in with an empty password,
// so one is kept only when the user says so; No leaves him on the page with
// the new password to type.
bool FrmSetPassword::EmptyPasswordConfirmed() {
  WizardState& state = program.state;
  if (state.DeviceFamily == FamilyPlain || state.ChangeAdminPassword != True || !state.NewAdminPassword.empty()) {
    return true;
  }
  const forms::MsgAnswer answer = program.desktop.MessageBox(EmptyPasswordQuestion, state.MessageTitle,
                                                             forms::MsgIcon::Exclamation, forms::MsgButtons::YesNo);
  if (answer == forms::MsgAnswer::Yes) return true;
  forms::SetFocus(form, TxtNewPassword);
  return false;
}

// Leaves the wizard: its pages are unloaded so the next run starts afresh.
void FrmSetPassword::CmdBack_Click() {
  Program& owner = program;
  Unload(owner, owner.chackPassWord);
  Unload(owner, owner.setIPAddress);
  Unload(owner, owner.setPassword);
  Unload(owner, owner.wireless);
  Unload(owner, owner.setupEnd);
  Show(owner, owner.frmMain);
}

void FrmSetPassword::CmdExit_Click() { program.desktop.EndProgram(); }
