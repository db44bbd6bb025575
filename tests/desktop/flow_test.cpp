// Clicking through the real windows with fake cameras: the main window's
// list, the launch, the login dialog and the first page.
#include <QLineEdit>
#include <QTimer>
#include <QTreeWidget>

#include "desktop/desktop_fixture.h"
#include "wizard/frm_set_password.h"

namespace {

using forms::WindowId;

class FlowTest : public DesktopTest {
 protected:
  void SetUp() override {
    DesktopTest::SetUp();
    camTemp.texts = {{u"SysAdminID", u"admin"}, {u"SysAdminPassword", u"secret"}};
    camTemp.numbers = {{u"DeviceType", 0}};
    StartWith({Device(1, u"127.77.0.10", u"CS-200"), Device(2, u"127.77.0.11", u"CS-350")});
  }
  void ChooseRow(int row) {
    auto* list = Find<QTreeWidget>(WindowId::FrmMain, "List");
    ASSERT_NE(list, nullptr);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualItemRect(list->topLevelItem(row)).center());
  }
  QLineEdit* Field(WindowId id, const char* name) { return Find<QLineEdit>(id, name); }
  void Type(WindowId id, const char* name, const char* text) {
    QLineEdit* field = Field(id, name);
    ASSERT_NE(field, nullptr) << name;
    field->setFocus();
    field->selectAll();
    QTest::keyClicks(field, text);
  }
};

TEST_F(FlowTest, ChoosingARowReadsThatCameraAndTheWizardOpensTheFirstPage) {
  ChooseRow(0);
  EXPECT_EQ(U8(program->state.DeviceMac), "0.64.140.1.2.1");
  EXPECT_EQ(U8(program->state.CurrentIPAddress), "127.77.0.10");

  Click(WindowId::FrmMain, "CmdWizard");
  EXPECT_TRUE(Shown(WindowId::FrmSetPassword));
  EXPECT_FALSE(Shown(WindowId::FrmMain));
  EXPECT_TRUE(messages.empty());
  QLineEdit* newId = Field(WindowId::FrmSetPassword, "TxtNewUserName");
  ASSERT_NE(newId, nullptr);
  EXPECT_FALSE(newId->isEnabled()) << "both change pairs start switched off";
  EXPECT_EQ(newId->palette().color(QPalette::Base), QColor(192, 192, 192));

  Type(WindowId::FrmSetPassword, "TxtOldSysAdminID", "admin");
  Type(WindowId::FrmSetPassword, "TxtOldPassword", "secret");
  EXPECT_EQ(Field(WindowId::FrmSetPassword, "TxtOldPassword")->displayText(), "******");
  Click(WindowId::FrmSetPassword, "CmdNext");
  EXPECT_TRUE(messages.empty());
  EXPECT_TRUE(Shown(WindowId::FrmSetIPAddress));
  EXPECT_FALSE(Shown(WindowId::FrmSetPassword));
  EXPECT_EQ(Field(WindowId::FrmSetIPAddress, "TxtIPAddress")->text(), "127.77.0.10");
  EXPECT_EQ(QApplication::focusWidget(), Field(WindowId::FrmSetIPAddress, "TxtSubnetMask"));
}

TEST_F(FlowTest, ARefusedEntryShowsItsMessageThenFocusesAndSelectsTheField) {
  ChooseRow(0);
  Click(WindowId::FrmMain, "CmdWizard");
  Type(WindowId::FrmSetPassword, "TxtOldSysAdminID", "Admin");
  Click(WindowId::FrmSetPassword, "CmdNext");
  ASSERT_EQ(messages.size(), 1U);
  EXPECT_EQ(U8(messages[0].text), "Old AdminID Error . Please Re-Enter The Correct AdminID");
  EXPECT_EQ(U8(messages[0].title), "");
  EXPECT_EQ(messages[0].icon, forms::MsgIcon::Critical);
  QLineEdit* oldId = Field(WindowId::FrmSetPassword, "TxtOldSysAdminID");
  EXPECT_EQ(QApplication::focusWidget(), oldId);
  EXPECT_EQ(oldId->selectedText(), "Admin");
  EXPECT_TRUE(Shown(WindowId::FrmSetPassword));
}

TEST_F(FlowTest, TickingChangeSwitchesThePairOnAtOnce) {
  ChooseRow(0);
  Click(WindowId::FrmMain, "CmdWizard");
  auto* change = Find<QAbstractButton>(WindowId::FrmSetPassword, "ChkUserName");
  ASSERT_NE(change, nullptr);
  QTest::mouseClick(change, Qt::LeftButton, {}, QPoint(8, change->height() / 2));
  QLineEdit* newId = Field(WindowId::FrmSetPassword, "TxtNewUserName");
  EXPECT_TRUE(newId->isEnabled());
  EXPECT_EQ(newId->palette().color(QPalette::Base), QApplication::palette().color(QPalette::Base));
  EXPECT_EQ(program->state.ChangeAdminID, True);
}

TEST_F(FlowTest, ALoginCameraAsksInTheModalDialogAndPrefillsTheOldFields) {
  ChooseRow(1);
  bool dialogSeen = false;
  QTimer::singleShot(0, [&] {
    dialogSeen = Shown(WindowId::frmchackIDPWD);
    Type(WindowId::frmchackIDPWD, "Text1", "root");
    Type(WindowId::frmchackIDPWD, "TxtPassWord", "pass");
    Click(WindowId::frmchackIDPWD, "CmdYes");
  });
  Click(WindowId::FrmMain, "CmdWizard");
  EXPECT_TRUE(dialogSeen);
  EXPECT_EQ(desktop.View(WindowId::frmchackIDPWD), nullptr) << "the launch unloads the dialog";
  ASSERT_TRUE(Shown(WindowId::FrmSetPassword));
  EXPECT_EQ(Field(WindowId::FrmSetPassword, "TxtOldSysAdminID")->text(), "root");
  EXPECT_EQ(Field(WindowId::FrmSetPassword, "TxtOldPassword")->text(), "pass");
  EXPECT_EQ(U8(camTemp.loginId), "root");
}

TEST_F(FlowTest, TheWarningAppearsForACameraThatRefusesTheConnection) {
  camTemp.connectResult = 0;
  ChooseRow(0);
  Click(WindowId::FrmMain, "CmdWizard");
  EXPECT_TRUE(Shown(WindowId::FrmMessage));
  EXPECT_TRUE(Shown(WindowId::FrmMain));
  auto* warning = Find<QLabel>(WindowId::FrmMessage, "Label2");
  ASSERT_NE(warning, nullptr);
  EXPECT_TRUE(warning->text().endsWith("Would you like to change the IP Address now?"));
  Click(WindowId::FrmMessage, "CmdNo");
  EXPECT_EQ(desktop.View(WindowId::FrmMessage), nullptr);
}

}  // namespace
