// The administrator account page: its fields, the refresh on every show, the
// change boxes, Next's checks in order, Back and Exit.
#include <gtest/gtest.h>

#include <cctype>
#include <deque>
#include <functional>

#include "base/text.h"
#include "wizard/program_fixture.h"
#include "wizard/frm_chack_password.h"
#include "wizard/frm_set_ip_address.h"
#include "wizard/frm_set_password.h"
#include "wizard/frm_setup_end.h"
#include "wizard/frm_wireless.h"

namespace {

// What the user does on the page: old credentials, then the change groups.
void TypeOld(FrmSetPassword& page, std::u16string id, std::u16string password) {
  forms::Type(page.TxtOldSysAdminID, id);
  forms::Type(page.TxtOldPassword, password);
}
void ChangeID(FrmSetPassword& page, std::u16string id, std::u16string again) {
  page.ChkUserName.value = 1;
  page.ChkUserName_Click();
  forms::Type(page.TxtNewUserName, id);
  forms::Type(page.TxtUserNameReconfirm, again);
}
void ChangePassword(FrmSetPassword& page, std::u16string password, std::u16string again) {
  page.ChkPassword.value = 1;
  page.ChkPassword_Click();
  forms::Type(page.TxtNewPassword, password);
  forms::Type(page.TxtReconfirm, again);
}

class SetPasswordTest : public PageTest {
 protected:
  void SetUp() override { StartWith({u"10.0.0.5", u"10.0.0.7"}); }
  FrmSetPassword& Page() { return Open(program.setPassword); }
};

TEST_F(SetPasswordTest, FieldsHaveTheirLimitsMasksAndTabOrder) {
  FrmSetPassword& page = Page();
  struct Expected {
    const forms::TextBox& box;
    int32_t maxLength;
    char16_t passwordChar;
  };
  for (const Expected& e : {Expected{page.TxtOldSysAdminID, 12, 0}, Expected{page.TxtOldPassword, 8, u'*'},
                            Expected{page.TxtNewUserName, 12, 0}, Expected{page.TxtUserNameReconfirm, 12, 0},
                            Expected{page.TxtNewPassword, 8, u'*'}, Expected{page.TxtReconfirm, 8, u'*'}}) {
    EXPECT_EQ(e.box.maxLength, e.maxLength) << e.box.name;
    EXPECT_EQ(e.box.passwordChar, e.passwordChar) << e.box.name;
  }
  EXPECT_EQ(page.TxtOldSysAdminID.tabIndex, 0);
  EXPECT_EQ(page.TxtOldPassword.tabIndex, 1);
  EXPECT_EQ(Focused(page), "TxtOldSysAdminID");
  EXPECT_EQ(page.ChkUserName.value, 0);
  EXPECT_EQ(page.ChkPassword.value, 0);
  EXPECT_EQ(page.form.caption, u"Setup Wizard");

  // Typing stops at the limit.
  forms::Type(page.TxtOldSysAdminID, u"abcdefghijklmnop");
  EXPECT_EQ(page.TxtOldSysAdminID.text, u"abcdefghijkl");
}

TEST_F(SetPasswordTest, FirstShowGreysBothGroupsAndForgetsEarlierNewValues) {
  state.NewAdminID = u"fromlastrun";
  state.NewAdminPassword = u"oldpw";
  FrmSetPassword& page = Page();
  for (const forms::TextBox* box :
       {&page.TxtNewUserName, &page.TxtUserNameReconfirm, &page.TxtNewPassword, &page.TxtReconfirm}) {
    EXPECT_FALSE(box->enabled) << box->name;
    EXPECT_EQ(box->backColour, forms::LightGrey) << box->name;
  }
  EXPECT_EQ(state.NewAdminID, u"");
  EXPECT_EQ(state.NewAdminPassword, u"");
}

TEST_F(SetPasswordTest, ChangeBoxesSwitchTheirPairAndFlagButKeepTexts) {
  FrmSetPassword& page = Page();
  struct Group {
    forms::CheckBox& box;
    std::function<void()> click;
    forms::TextBox& entry;
    forms::TextBox& reconfirm;
    Flag& flag;
  };
  for (const Group& g : {Group{page.ChkUserName, [&] { page.ChkUserName_Click(); }, page.TxtNewUserName,
                               page.TxtUserNameReconfirm, state.ChangeAdminID},
                         Group{page.ChkPassword, [&] { page.ChkPassword_Click(); }, page.TxtNewPassword,
                               page.TxtReconfirm, state.ChangeAdminPassword}}) {
    g.box.value = 1;
    g.click();
    EXPECT_EQ(g.flag, True) << g.box.name;
    for (const forms::TextBox* box : {&g.entry, &g.reconfirm}) {
      EXPECT_TRUE(box->enabled) << box->name;
      EXPECT_EQ(box->backColour, forms::SystemWindowColour) << box->name;
    }
    forms::Type(g.entry, u"abc");
    forms::Type(g.reconfirm, u"abd");
    g.box.value = 0;
    g.click();
    EXPECT_EQ(g.flag, False) << g.box.name;
    for (const forms::TextBox* box : {&g.entry, &g.reconfirm}) {
      EXPECT_FALSE(box->enabled) << box->name;
      EXPECT_EQ(box->backColour, forms::LightGrey) << box->name;
    }
    EXPECT_EQ(g.entry.text, u"abc");
    EXPECT_EQ(g.reconfirm.text, u"abd");
  }
  EXPECT_EQ(Logged(), "");
}

// Each refused Next: the one message, the field focused with its whole text
// selected, the pair's fields emptied where the pair was refused, and the
// page still open.
struct NextRefusal {
  const char* what;
  std::function<void(FrmSetPassword&)> enter;
  std::string message;
  std::string focus;
  bool idPairCleared;
  bool passwordPairCleared;
};
void PrintTo(const NextRefusal& c, std::ostream* os) { *os << c.what; }

class SetPasswordRefusalTest : public SetPasswordTest, public testing::WithParamInterface<NextRefusal> {};

TEST_P(SetPasswordRefusalTest, RefusesWithItsMessageAndFocus) {
  const NextRefusal& c = GetParam();
  FrmSetPassword& page = Page();
  c.enter(page);
  page.CmdNext_Click();

  EXPECT_LOGGED(Refusal(c.message));
  EXPECT_EQ(Focused(page), c.focus);
  const auto& focused = c.focus == "TxtOldSysAdminID" ? page.TxtOldSysAdminID
                        : c.focus == "TxtOldPassword" ? page.TxtOldPassword
                        : c.focus == "TxtNewUserName" ? page.TxtNewUserName
                                                      : page.TxtNewPassword;
  EXPECT_TRUE(WhollySelected(focused));
  if (c.idPairCleared) {
    EXPECT_EQ(page.TxtNewUserName.text, u"");
    EXPECT_EQ(page.TxtUserNameReconfirm.text, u"");
    EXPECT_EQ(state.NewAdminID, u"");
  }
  if (c.passwordPairCleared) {
    EXPECT_EQ(page.TxtNewPassword.text, u"");
    EXPECT_EQ(page.TxtReconfirm.text, u"");
    EXPECT_EQ(state.NewAdminPassword, u"");
  }
  EXPECT_TRUE(page.form.visible);
  EXPECT_FALSE(program.setIPAddress);
}

const std::string OldID = "Old AdminID Error . Please Re-Enter The Correct AdminID";
const std::string OldPassword = "Old Password Error . Please Re-Enter The Correct Password";

INSTANTIATE_TEST_SUITE_P(
    Checks, SetPasswordRefusalTest,
    testing::Values(
        NextRefusal{"old ID in other letter case", [](FrmSetPassword& p) { TypeOld(p, u"Admin", u"secret"); }, OldID,
                    "TxtOldSysAdminID", false, false},
        NextRefusal{"old ID empty", [](FrmSetPassword& p) { TypeOld(p, u"", u"secret"); }, OldID, "TxtOldSysAdminID",
                    false, false},
        NextRefusal{"old ID wrong before old password wrong", [](FrmSetPassword& p) { TypeOld(p, u"root", u"wrong"); },
                    OldID, "TxtOldSysAdminID", false, false},
        NextRefusal{"old password with a trailing blank", [](FrmSetPassword& p) { TypeOld(p, u"admin", u"secret "); },
                    OldPassword, "TxtOldPassword", false, false},
        NextRefusal{"old password wrong before new ID mismatch",
                    [](FrmSetPassword& p) {
                      TypeOld(p, u"admin", u"SECRET");
                      ChangeID(p, u"a", u"b");
                    },
                    OldPassword, "TxtOldPassword", false, false},
        NextRefusal{"new ID mismatch, one with a blank",
                    [](FrmSetPassword& p) {
                      TypeOld(p, u"admin", u"secret");
                      ChangeID(p, u"new id", u"newid");
                    },
                    "New ID and Reconfirm Is Error", "TxtNewUserName", true, false},
        NextRefusal{"new ID with a hyphen in both",
                    [](FrmSetPassword& p) {
                      TypeOld(p, u"admin", u"secret");
                      ChangeID(p, u"new-id", u"new-id");
                    },
                    "New ID and Reconfirm String Is Error", "TxtNewUserName", true, false},
        NextRefusal{"new ID refused before the password pair is looked at",
                    [](FrmSetPassword& p) {
                      TypeOld(p, u"admin", u"secret");
                      ChangeID(p, u"x", u"y");
                      ChangePassword(p, u"a", u"b");
                    },
                    "New ID and Reconfirm Is Error", "TxtNewUserName", true, false},
        NextRefusal{"new password mismatch in letter case",
                    [](FrmSetPassword& p) {
                      TypeOld(p, u"admin", u"secret");
                      ChangePassword(p, u"Passw0rd", u"passw0rd");
                    },
                    "New Password and Reconfirm Is Error", "TxtNewPassword", false, true},
        NextRefusal{"new password with a dot",
                    [](FrmSetPassword& p) {
                      TypeOld(p, u"admin", u"secret");
                      ChangePassword(p, u"pa.ss", u"pa.ss");
                    },
                    "New Password and Reconfirm String Is Error", "TxtNewPassword", false, true},
        NextRefusal{"new password of 9 characters set by code",
                    [](FrmSetPassword& p) {
                      TypeOld(p, u"admin", u"secret");
                      ChangePassword(p, u"", u"");
                      p.TxtNewPassword.text = p.TxtReconfirm.text = u"abcdefghi";
                    },
                    "New Password and Reconfirm String Is Error", "TxtNewPassword", false, true}),
    [](const testing::TestParamInfo<NextRefusal>& param) {
      std::string name;
      for (const char* c = param.param.what; *c != 0; ++c)
        name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
      return name;
    });

TEST_F(SetPasswordTest, PasswordRefusalKeepsTheAcceptedNewID) {
  FrmSetPassword& page = Page();
  TypeOld(page, u"admin", u"secret");
  ChangeID(page, u"operator_1", u"operator_1");
  ChangePassword(page, u"abc", u"abd");
  page.CmdNext_Click();
  EXPECT_EQ(state.NewAdminID, u"operator_1");
  EXPECT_EQ(page.TxtNewUserName.text, u"operator_1");
  EXPECT_EQ(state.NewAdminPassword, u"");
}

TEST_F(SetPasswordTest, NextWithoutChangesChecksOnlyTheOldValuesAndGoesOn) {
  FrmSetPassword& page = Page();
  TypeOld(page, u"admin", u"secret");
  forms::Type(page.TxtNewUserName, u"not-checked");  // greyed: not looked at
  page.CmdNext_Click();
  EXPECT_LOGGED("pointer 0", "show FrmSetIPAddress", "hide FrmSetPassword");
  EXPECT_FALSE(page.form.visible);
  EXPECT_EQ(state.NewAdminID, u"");
  EXPECT_EQ(state.ChangeAdminID, False);
}

TEST_F(SetPasswordTest, NextStoresBothNewValuesAsTyped) {
  FrmSetPassword& page = Page();
  TypeOld(page, u"admin", u"secret");
  ChangeID(page, u"Operator_12X", u"Operator_12X");
  ChangePassword(page, u"Pw_12345", u"Pw_12345");
  page.CmdNext_Click();
  EXPECT_LOGGED("pointer 0", "show FrmSetIPAddress", "hide FrmSetPassword");
  EXPECT_EQ(state.NewAdminID, u"Operator_12X");
  EXPECT_EQ(state.NewAdminPassword, u"Pw_12345");
  EXPECT_EQ(state.ChangeAdminID, True);
  EXPECT_EQ(state.ChangeAdminPassword, True);
}

TEST_F(SetPasswordTest, EmptyNewIDIsAccepted) {
  state.NewAdminID = u"stale";
  FrmSetPassword& page = Page();
  TypeOld(page, u"admin", u"secret");
  ChangeID(page, u"", u"");
  page.CmdNext_Click();
  EXPECT_TRUE(program.setIPAddress && program.setIPAddress->form.visible);
  EXPECT_EQ(state.NewAdminID, u"");
}

// An empty new password would let anyone log in to a camera that asks for a
// login: Next asks first, and No keeps the user on the page.
struct EmptyPasswordCase {
  const char* what;
  int16_t family;
  std::u16string newPassword;
  std::deque<forms::MsgAnswer> answers;
  bool asked;
  bool goesOn;
};

TEST_F(SetPasswordTest, AnEmptyPasswordOnACameraWithALoginIsKeptOnlyWhenConfirmed) {
  const std::vector<EmptyPasswordCase> cases = {
      {"family 2, Yes", FamilyLogin, u"", {forms::MsgAnswer::Yes}, true, true},
      {"family 2, No", FamilyLogin, u"", {forms::MsgAnswer::No}, true, false},
      {"family 2, a password typed", FamilyLogin, u"Pw_1", {}, false, true},
      {"family 0 has no login to lose", FamilyPlain, u"", {}, false, true},
  };
  for (const EmptyPasswordCase& c : cases) {
    SCOPED_TRACE(c.what);
    Unload(program, program.setIPAddress);
    Unload(program, program.setPassword);
    desktop.messages.clear();
    state.DeviceFamily = c.family;
    state.ChangeAdminPassword = False;
    desktop.answers = c.answers;
    FrmSetPassword& page = Page();
    TypeOld(page, u"admin", u"secret");
    ChangePassword(page, c.newPassword, c.newPassword);
    page.CmdNext_Click();
    if (c.asked) {
      ASSERT_EQ(desktop.messages.size(), 1U);
      const ShownMessage& asked = desktop.messages[0];
      EXPECT_NE(asked.text.find(u"anyone"), std::u16string::npos) << base::ToUtf8(asked.text);
      EXPECT_EQ(asked.buttons, forms::MsgButtons::YesNo);
      EXPECT_EQ(asked.icon, forms::MsgIcon::Exclamation);
    } else {
      EXPECT_TRUE(desktop.messages.empty());
    }
    const bool onAddressPage = program.setIPAddress && program.setIPAddress->form.visible;
    EXPECT_EQ(onAddressPage, c.goesOn);
    EXPECT_EQ(page.form.visible, !c.goesOn);
    if (!c.goesOn) {
      EXPECT_EQ(page.form.focus, &page.TxtNewPassword);
    }
    EXPECT_EQ(state.NewAdminPassword, c.newPassword);
    EXPECT_EQ(state.ChangeAdminPassword, True);
  }
}

TEST_F(SetPasswordTest, StoredIDLongerThanTheFieldPassesWithItsFirst12Characters) {
  state.CurrentAdminID = u"abcdefghijkl";  // the launch cut "abcdefghijklmno"
  FrmSetPassword& page = Page();
  TypeOld(page, u"abcdefghijklmno", u"secret");
  page.CmdNext_Click();
  EXPECT_TRUE(program.setIPAddress && program.setIPAddress->form.visible);
}

TEST_F(SetPasswordTest, BackFromTheAddressPageRefillsTickedPairsWithTheAcceptedValues) {
  FrmSetPassword& page = Page();
  TypeOld(page, u"admin", u"secret");
  ChangeID(page, u"newadmin", u"newadmin");
  ChangePassword(page, u"newpw", u"newpw");
  page.CmdNext_Click();
  // The user edits the fields' texts behind the page's back; the refresh puts the accepted values back.
  page.TxtUserNameReconfirm.text = u"other";
  page.TxtReconfirm.text = u"other";
  log.Clear();
  program.setIPAddress->CmdBack_Click();
  EXPECT_LOGGED("show FrmSetPassword", "hide FrmSetIPAddress");
  EXPECT_TRUE(page.form.visible);
  EXPECT_EQ(page.TxtNewUserName.text, u"newadmin");
  EXPECT_EQ(page.TxtUserNameReconfirm.text, u"newadmin");
  EXPECT_EQ(page.TxtNewPassword.text, u"newpw");
  EXPECT_EQ(page.TxtReconfirm.text, u"newpw");
  EXPECT_EQ(page.TxtOldSysAdminID.text, u"admin");
}

TEST_F(SetPasswordTest, UntickingAfterBackGreysAtOnceAndTheNextRefreshForgetsTheValue) {
  FrmSetPassword& page = Page();
  TypeOld(page, u"admin", u"secret");
  ChangeID(page, u"newadmin", u"newadmin");
  page.CmdNext_Click();
  program.setIPAddress->CmdBack_Click();

  page.ChkUserName.value = 0;
  page.ChkUserName_Click();
  EXPECT_EQ(state.ChangeAdminID, False);
  EXPECT_FALSE(page.TxtNewUserName.enabled);
  EXPECT_EQ(state.NewAdminID, u"newadmin");  // the click leaves the value

  page.CmdNext_Click();
  program.setIPAddress->CmdBack_Click();
  EXPECT_EQ(state.NewAdminID, u"");
  EXPECT_EQ(page.TxtNewUserName.text, u"newadmin");  // the refresh leaves a greyed text
}

TEST_F(SetPasswordTest, BackUnloadsTheWizardInOrderAndShowsTheMainListUnchanged) {
  Load(program, program.chackPassWord);
  FrmSetPassword& page = Page();
  Load(program, program.setIPAddress);
  Load(program, program.wireless);
  Load(program, program.setupEnd);
  FrmMain* main = program.frmMain.get();
  log.Clear();
  page.CmdBack_Click();
  EXPECT_LOGGED("unload FrmChackPassWord", "unload FrmSetIPAddress", "unload FrmSetPassword", "unload FrmWireless",
                "unload FrmSetupEnd", "show FrmMain");
  EXPECT_EQ(program.frmMain.get(), main);
  EXPECT_EQ(main->List.rows.size(), 2u);
  for (bool gone :
       {!program.chackPassWord, !program.setIPAddress, !program.setPassword, !program.wireless, !program.setupEnd}) {
    EXPECT_TRUE(gone);
  }
}

TEST_F(SetPasswordTest, BackSkipsWindowsThatAreNotLoadedAndTheNextRunStartsAfresh) {
  FrmSetPassword& page = Page();
  TypeOld(page, u"admin", u"secret");
  page.CmdBack_Click();
  EXPECT_LOGGED("unload FrmSetPassword", "show FrmMain");
  FrmSetPassword& again = Page();
  EXPECT_EQ(again.TxtOldSysAdminID.text, u"");
}

TEST_F(SetPasswordTest, ExitEndsTheProgramAndWritesNothing) {
  FrmSetPassword& page = Page();
  TypeOld(page, u"admin", u"secret");
  ChangeID(page, u"newadmin", u"newadmin");
  page.CmdExit_Click();
  EXPECT_LOGGED("end");
  EXPECT_TRUE(desktop.ended);
  EXPECT_EQ(state.NewAdminID, u"");
}

}  // namespace
