// The two login dialogs: their fields, the accept rule they share (login
// state first, login only when asked for), the refusal message, and where
// each goes on success and on Cancel.
#include <gtest/gtest.h>

#include "support/param_name.h"
#include "wizard/program_fixture.h"
#include "wizard/frm_chack_id_pwd.h"
#include "wizard/frm_chack_password.h"
#include "wizard/frm_change_ip_address.h"

namespace {

const std::string Refusal =
    "msgbox \"Password Error . Please Re-Enter The Correct Password\" title=\"\" icon=critical buttons=ok";

template <class Dialog>
void ExpectLoginLayout(const Dialog& dialog) {
  EXPECT_EQ(dialog.form.caption, u"Setup Wizard");
  EXPECT_EQ(dialog.Label1.caption, u"Enter Admin ID : ");
  EXPECT_EQ(dialog.Label2.caption, u"Enter Password :");
  EXPECT_EQ(dialog.CmdYes.caption, u"OK");
  EXPECT_EQ(dialog.CmdCancel.caption, u"Cancel");
  EXPECT_EQ(dialog.TxtPassWord.passwordChar, u'*');
  EXPECT_EQ(dialog.Text1.passwordChar, 0);
  EXPECT_EQ(dialog.Text1.maxLength, 0);
  EXPECT_EQ(dialog.TxtPassWord.maxLength, 0);
  EXPECT_LT(dialog.Text1.tabIndex, dialog.TxtPassWord.tabIndex);
  EXPECT_EQ(dialog.form.focus, &dialog.Text1);
}

class LoginDialogTest : public ProgramTest {
 protected:
  void SetUp() override { StartWith({Camera(1, u"10.0.0.5")}); }
};

TEST_F(LoginDialogTest, BothDialogsShareOneLayout) {
  ExpectLoginLayout(Load(program, program.chackIDPWD));
  ExpectLoginLayout(Load(program, program.chackPassWord));
  EXPECT_TRUE(program.chackIDPWD->EnteredAdminID.empty());
  EXPECT_TRUE(program.chackIDPWD->EnteredPassword.empty());
  EXPECT_FALSE(program.chackIDPWD->LoginCancelled);
}

struct AcceptCase {
  const char* what;
  std::deque<int32_t> states;   // LoginState answers, one per OK
  std::deque<int32_t> results;  // Login answers
  int presses;
  std::vector<std::string> camera;  // what the presses log, the dialog's own moves left out
  bool granted;
};

// The camera calls and the message of each press; whether access is granted
// at the end.
const AcceptCase AcceptCases[] = {
    {"granted at once", {3}, {}, 1, {"CamTemp.LoginState"}, true},
    {"login asked for and granted", {2}, {3}, 1, {"CamTemp.LoginState", "CamTemp.Login(\"root\", \"pw\")"}, true},
    {"refused", {2}, {2}, 1, {"CamTemp.LoginState", "CamTemp.Login(\"root\", \"pw\")", Refusal}, false},
    {"refused, then asked again from the start",
     {2, 2},
     {2, 3},
     2,
     {"CamTemp.LoginState", "CamTemp.Login(\"root\", \"pw\")", Refusal, "CamTemp.LoginState",
      "CamTemp.Login(\"root\", \"pw\")"},
     true},
    {"an unknown login answer does nothing",
     {2},
     {0},
     1,
     {"CamTemp.LoginState", "CamTemp.Login(\"root\", \"pw\")"},
     false},
    {"an unknown state does nothing, however often",
     {0, 0, 0},
     {},
     3,
     {"CamTemp.LoginState", "CamTemp.LoginState", "CamTemp.LoginState"},
     false},
    {"state 1 does nothing", {1}, {}, 1, {"CamTemp.LoginState"}, false},
    {"state 4 does nothing", {4}, {}, 1, {"CamTemp.LoginState"}, false},
    {"state -1 does nothing", {-1}, {}, 1, {"CamTemp.LoginState"}, false},
};

class AcceptRuleTest : public LoginDialogTest, public testing::WithParamInterface<AcceptCase> {
 protected:
  void SetUp() override {
    LoginDialogTest::SetUp();
    camTemp.loginStates = GetParam().states;
    camTemp.loginStateAfter = 0;
    camTemp.loginResults = GetParam().results;
    camTemp.loginResultAfter = 0;
  }
};

TEST_P(AcceptRuleTest, WizardLoginHidesWhenGranted) {
  Show(program, program.chackIDPWD);
  frmchackIDPWD& login = *program.chackIDPWD;
  forms::Type(login.Text1, u"root");
  forms::Type(login.TxtPassWord, u"pw");
  log.Clear();
  for (int press = 0; press < GetParam().presses; ++press) login.CmdYes_Click();
  std::vector<std::string> expected = GetParam().camera;
  if (GetParam().granted) expected.push_back("hide frmchackIDPWD");
  EXPECT_EQ(Lines(log.lines), Lines(expected));
  EXPECT_EQ(login.form.visible, !GetParam().granted);
  EXPECT_EQ(login.EnteredAdminID, u"root");
  EXPECT_EQ(login.EnteredPassword, u"pw");
  EXPECT_EQ(login.Text1.text, u"root");
  EXPECT_EQ(login.TxtPassWord.text, u"pw");
  EXPECT_FALSE(login.LoginCancelled);
}

TEST_P(AcceptRuleTest, AddressLoginOpensTheChangeDialogWhenGranted) {
  Show(program, program.chackPassWord);
  FrmChackPassWord& login = *program.chackPassWord;
  forms::Type(login.Text1, u"root");
  forms::Type(login.TxtPassWord, u"pw");
  log.Clear();
  for (int press = 0; press < GetParam().presses; ++press) login.CmdYes_Click();
  std::vector<std::string> expected = GetParam().camera;
  if (GetParam().granted) {
    expected.push_back("show FrmChangeIPAddress");
    expected.push_back("unload FrmChackPassWord");
  }
  EXPECT_EQ(Lines(log.lines), Lines(expected));
  EXPECT_EQ(program.chackPassWord != nullptr, !GetParam().granted);
  EXPECT_EQ(program.changeIPAddress != nullptr, GetParam().granted);
  EXPECT_EQ(login.Text1.text, u"root");  // the object lives until the program disposes of it
}

INSTANTIATE_TEST_SUITE_P(Answers, AcceptRuleTest, testing::ValuesIn(AcceptCases),
                         [](const auto& testInfo) { return ParamName(testInfo.param.what); });

TEST_F(LoginDialogTest, EmptyEntriesGoToTheCameraAsEmptyTexts) {
  camTemp.loginStates = {2};
  Show(program, program.chackIDPWD);
  program.chackIDPWD->CmdYes_Click();
  Show(program, program.chackPassWord);
  camTemp.loginStates = {2};
  program.chackPassWord->CmdYes_Click();
  EXPECT_EQ(log.Starting("CamTemp.Login("),
            (std::vector<std::string>{"CamTemp.Login(\"\", \"\")", "CamTemp.Login(\"\", \"\")"}));
}

// The entries go to the camera exactly as typed: blanks and all.
TEST_F(LoginDialogTest, EntriesAreNotTrimmedOrChecked) {
  camTemp.loginStates = {2};
  Show(program, program.chackIDPWD);
  forms::Type(program.chackIDPWD->Text1, u" ad min ");
  forms::Type(program.chackIDPWD->TxtPassWord, u"p\"w*");
  program.chackIDPWD->CmdYes_Click();
  EXPECT_EQ(log.Starting("CamTemp.Login("), std::vector<std::string>{"CamTemp.Login(\" ad min \", \"p\"w*\")"});
  EXPECT_EQ(program.chackIDPWD->EnteredAdminID, u" ad min ");
}

TEST_F(LoginDialogTest, WizardLoginCancelMarksAndHides) {
  Show(program, program.chackIDPWD);
  forms::Type(program.chackIDPWD->Text1, u"root");
  log.Clear();
  program.chackIDPWD->CmdCancel_Click();
  EXPECT_LOG(log, "hide frmchackIDPWD");
  EXPECT_TRUE(program.chackIDPWD->LoginCancelled);
  EXPECT_TRUE(program.chackIDPWD->EnteredAdminID.empty());  // written by OK only
}

TEST_F(LoginDialogTest, AddressLoginCancelUnloadsAndEndsThePath) {
  Show(program, program.chackPassWord);
  log.Clear();
  program.chackPassWord->CmdCancel_Click();
  EXPECT_LOG(log, "unload FrmChackPassWord");
  EXPECT_FALSE(program.chackPassWord);
  EXPECT_FALSE(program.changeIPAddress);
  EXPECT_EQ(desktop.visible, std::set<forms::WindowId>{forms::WindowId::FrmMain});
}

TEST_F(LoginDialogTest, AFailingCameraControlIsReportedAndTheDialogStays) {
  camTemp.loginStates = {2};
  camTemp.failing = {"Login"};
  Show(program, program.chackPassWord);
  log.Clear();
  program.chackPassWord->CmdYes_Click();
  EXPECT_LOG(log, "CamTemp.LoginState", "CamTemp.Login(\"\", \"\")", "pointer 0",
             "msgbox \"Camera Error . Login failed\" title=\"\" icon=critical buttons=ok");
  EXPECT_TRUE(program.chackPassWord);
  EXPECT_FALSE(program.changeIPAddress);
}

// A camera that does not answer in time: the wizard login says so in a
// message of ours instead of leaving OK without any effect, stays open with
// what was typed, and a second OK asks again.
TEST_F(LoginDialogTest, ACameraThatDoesNotAnswerIsNamedNotSilent) {
  camTemp.failing = {"LoginState"};
  Show(program, program.chackIDPWD);
  frmchackIDPWD& login = *program.chackIDPWD;
  forms::Type(login.Text1, u"admin");
  log.Clear();
  login.CmdYes_Click();
  EXPECT_LOG(log, "CamTemp.LoginState", "pointer 0",
             "msgbox \"Camera Error . LoginState failed\" title=\"\" icon=critical buttons=ok");
  EXPECT_TRUE(desktop.visible.count(forms::WindowId::frmchackIDPWD)) << "the dialog stays for another try";
  EXPECT_FALSE(login.LoginCancelled);
  EXPECT_EQ(login.Text1.text, u"admin");
  camTemp.failing.clear();
  camTemp.loginStates = {device::LoginGranted};
  login.CmdYes_Click();
  EXPECT_FALSE(desktop.visible.count(forms::WindowId::frmchackIDPWD));
}

}  // namespace
