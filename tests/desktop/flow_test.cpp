// Clicking through the real windows with fake cameras: the main window's
// list, the launch, the login dialog and the first page; where each window
// stands and what it answers from the keyboard.
#include <QAccessible>
#include <QClipboard>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QTimer>

#include "desktop/frames.h"
#include "wizard/frm_chack_password.h"
#include "wizard/frm_change_ip_address.h"
#include "wizard/frm_message.h"

#include "desktop/desktop_fixture.h"
#include "wizard/frm_set_password.h"
#include "wizard/frm_set_ip_address.h"

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
  QLineEdit* Field(WindowId id, const char* name) { return Find<QLineEdit>(id, name); }
  void PassTheFirstPage() {
    Type(WindowId::FrmSetPassword, "TxtOldSysAdminID", "admin");
    Type(WindowId::FrmSetPassword, "TxtOldPassword", "secret");
    Click(WindowId::FrmSetPassword, "CmdNext");
  }
  // Runs user while the next modal popup or box is open.
  void WhenModalOpens(std::function<void(QWidget&)> user) {
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, poll, [poll, user] {
      QWidget* open = QApplication::activePopupWidget();
      if (open == nullptr) open = QApplication::activeModalWidget();
      if (open == nullptr || !open->isVisible() || qobject_cast<desktop::WindowView*>(open) != nullptr) return;
      poll->stop();
      poll->deleteLater();
      user(*open);
    });
    poll->start(5);
  }
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
  QString idName;
  QTimer::singleShot(0, [&] {
    dialogSeen = Shown(WindowId::frmchackIDPWD);
    idName = Field(WindowId::frmchackIDPWD, "Text1")->accessibleName();
    Type(WindowId::frmchackIDPWD, "Text1", "root");
    Type(WindowId::frmchackIDPWD, "TxtPassWord", "pass");
    Click(WindowId::frmchackIDPWD, "CmdYes");
  });
  Click(WindowId::FrmMain, "CmdWizard");
  EXPECT_TRUE(dialogSeen);
  EXPECT_EQ(idName, "Enter Admin ID") << "the field is named by its caption, a label of the model";
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
  EXPECT_GE(warning->height(), warning->heightForWidth(warning->width())) << "the dialog shows the whole question";
  Click(WindowId::FrmMessage, "CmdNo");
  EXPECT_EQ(desktop.View(WindowId::FrmMessage), nullptr);
}

TEST_F(FlowTest, TheWarningsAndTheChangeAddressDialogsButtonsHaveMnemonics) {
  camTemp.connectResult = 0;
  ChooseRow(0);
  Click(WindowId::FrmMain, "CmdWizard");
  desktop::WindowView* warning = desktop.View(WindowId::FrmMessage);
  ASSERT_NE(warning, nullptr);
  EXPECT_EQ(QKeySequence::mnemonic(Find<QPushButton>(WindowId::FrmMessage, "CmdYes")->text()),
            QKeySequence(Qt::ALT | Qt::Key_Y));
  EXPECT_EQ(U8(program->message->CmdNo.caption), "No") << "the model's caption stays as it is";
  QApplication::setActiveWindow(warning);
  ASSERT_TRUE(QTest::qWaitForWindowActive(warning));
  QTest::keyClick(warning, Qt::Key_N, Qt::AltModifier);  // the button clicks a moment later, visibly
  EXPECT_TRUE(QTest::qWaitFor([&] { return desktop.View(WindowId::FrmMessage) == nullptr; }, 2000)) << "Alt+N is No";

  desktop.Dispatch([&] { Show(*program, program->changeIPAddress); });
  ASSERT_TRUE(Shown(WindowId::FrmChangeIPAddress));
  EXPECT_EQ(QKeySequence::mnemonic(Find<QPushButton>(WindowId::FrmChangeIPAddress, "CmdOk")->text()),
            QKeySequence(Qt::ALT | Qt::Key_O));
}

TEST_F(FlowTest, ThePagesShareOneFrameThatKeepsItsPlaceAndSaysCameraAndStep) {
  ChooseRow(0);
  Click(WindowId::FrmMain, "CmdWizard");
  desktop::WizardFrame* frame = desktop.Wizard();
  ASSERT_NE(frame, nullptr);
  EXPECT_TRUE(frame->isVisible());
  EXPECT_FALSE(desktop.Main()->isVisible()) << "the logic hides the main window";
  EXPECT_EQ(desktop.View(WindowId::FrmSetPassword)->window(), frame);
  EXPECT_EQ(frame->Camera(), "Camera 1 (127.77.0.10)");
  EXPECT_EQ(frame->Step(), "Step 1 of 3");
  frame->move(40, 50);
  frame->resize(frame->width() + 30, frame->height() + 20);
  const QRect placed = frame->geometry();

  PassTheFirstPage();
  ASSERT_TRUE(Shown(WindowId::FrmSetIPAddress));
  EXPECT_EQ(desktop.View(WindowId::FrmSetIPAddress)->window(), frame);
  EXPECT_EQ(frame->geometry(), placed) << "the next page opens where the user left the frame";
  EXPECT_EQ(frame->Step(), "Step 2 of 3");

  Click(WindowId::FrmSetIPAddress, "CmdBack");
  ASSERT_TRUE(Shown(WindowId::FrmSetPassword));
  EXPECT_EQ(frame->geometry(), placed);
  EXPECT_EQ(frame->Step(), "Step 1 of 3");

  frame->close();
  EXPECT_EQ(quits, 1) << "closing the frame is the page's Exit";
}

TEST_F(FlowTest, ASortedListLaunchesTheCameraTheUserChose) {
  List()->sortByColumn(0, Qt::DescendingOrder);  // Camera 2 on top
  ASSERT_EQ(ListText(0, 0), "Camera 2");
  ChooseRow(1);
  EXPECT_EQ(U8(program->state.DeviceMac), "0.64.140.1.2.1");
  Click(WindowId::FrmMain, "CmdWizard");
  ASSERT_TRUE(Shown(WindowId::FrmSetPassword));
  EXPECT_EQ(U8(program->state.DeviceMac), "0.64.140.1.2.1");
  EXPECT_EQ(U8(program->state.CurrentIPAddress), "127.77.0.10");
  EXPECT_EQ(desktop.Wizard()->Camera(), "Camera 1 (127.77.0.10)");
}

TEST_F(FlowTest, EnterPressesNextOnAPageAndNeitherButtonOfTheLoginDialog) {
  ChooseRow(0);
  Click(WindowId::FrmMain, "CmdWizard");
  auto* next = Find<QPushButton>(WindowId::FrmSetPassword, "CmdNext");
  ASSERT_NE(next, nullptr);
  EXPECT_TRUE(next->isDefault());
  Type(WindowId::FrmSetPassword, "TxtOldSysAdminID", "admin");
  Type(WindowId::FrmSetPassword, "TxtOldPassword", "secret");
  QTest::keyClick(Field(WindowId::FrmSetPassword, "TxtOldPassword"), Qt::Key_Return);
  EXPECT_TRUE(Shown(WindowId::FrmSetIPAddress)) << "Enter in a field is Next";
  EXPECT_TRUE(Find<QPushButton>(WindowId::FrmSetIPAddress, "CmdNext")->isDefault());

  log.Clear();  // the launch empties the last camera's login; the dialog must put none
  desktop.Dispatch([&] { Show(*program, program->chackPassWord); });
  ASSERT_TRUE(Shown(WindowId::FrmChackPassWord));
  for (const char* name : {"CmdYes", "CmdCancel"})
    EXPECT_FALSE(Find<QPushButton>(WindowId::FrmChackPassWord, name)->isDefault());
  Type(WindowId::FrmChackPassWord, "Text1", "admin");
  for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
    QTest::keyClick(Field(WindowId::FrmChackPassWord, "Text1"), key);
    QTest::keyClick(Find<QPushButton>(WindowId::FrmChackPassWord, "CmdYes"), key);
  }
  EXPECT_TRUE(Shown(WindowId::FrmChackPassWord)) << "the login dialog answers neither Enter nor Esc";
  EXPECT_TRUE(messages.empty());
  EXPECT_TRUE(log.Starting("CamTemp.LoginID").empty());
}

TEST_F(FlowTest, EnterOnAFocusedButtonPressesThatButtonNotTheDefault) {
  ChooseRow(0);
  Click(WindowId::FrmMain, "CmdWizard");
  PassTheFirstPage();
  QTest::keyClick(Field(WindowId::FrmSetIPAddress, "TxtGateway"), Qt::Key_Return);
  ASSERT_TRUE(Shown(WindowId::FrmsetLanEnd)) << "Enter in a field is the default button";
  auto* back = Find<QPushButton>(WindowId::FrmsetLanEnd, "CmdBack");
  ASSERT_NE(back, nullptr);
  ASSERT_TRUE(Find<QPushButton>(WindowId::FrmsetLanEnd, "CmdRestart")->isDefault());
  back->setFocus(Qt::TabFocusReason);
  QTest::keyClick(back, Qt::Key_Return);
  EXPECT_TRUE(Shown(WindowId::FrmSetIPAddress)) << "Enter on Back goes back";
  EXPECT_FALSE(Shown(WindowId::FrmsetLanEnd));
  EXPECT_TRUE(log.Starting("CamTemp.ApplySettings").empty()) << "nothing is written";
}

TEST_F(FlowTest, FieldsAreNamedByTheirCaptionsAndButtonsSayWhatTheyDo) {
  ChooseRow(0);
  Click(WindowId::FrmMain, "CmdWizard");
  PassTheFirstPage();
  const std::pair<const char*, const char*> fields[] = {
      {"TxtIPAddress", "IP Address"}, {"TxtSubnetMask", "Subnet Mask"}, {"TxtGateway", "Default Gateway"}};
  for (const auto& [name, caption] : fields) {
    QLineEdit* field = Field(WindowId::FrmSetIPAddress, name);
    ASSERT_NE(field, nullptr) << name;
    EXPECT_EQ(field->accessibleName(), caption);
    int tied = 0;
    for (QLabel* label : desktop.View(WindowId::FrmSetIPAddress)->findChildren<QLabel*>()) {
      if (label->buddy() == field) ++tied;
    }
    EXPECT_EQ(tied, 1) << name << ": one caption is tied to the field, so its mnemonic reaches it";
  }
  for (const char* name : {"CmdBack", "CmdNext", "CmdExit"}) {
    EXPECT_FALSE(Find<QPushButton>(WindowId::FrmSetIPAddress, name)->toolTip().isEmpty()) << name;
  }
}

TEST_F(FlowTest, AScreenReaderHearsEachOptionByItsTextAndEachValueWithItsCaption) {
  camTemp.numbers = {{u"DeviceType", 1 << 29}, {u"WlanMode", 0}, {u"WlanChannel", 6}, {u"WlanWEPFlag", 1}};
  camTemp.texts[u"WlanESSID"] = u"HomeNet";
  ChooseRow(0);
  Click(WindowId::FrmMain, "CmdWizard");
  PassTheFirstPage();
  Click(WindowId::FrmSetIPAddress, "CmdNext");
  ASSERT_TRUE(Shown(WindowId::FrmWireless));
  QAccessibleInterface* option =
      QAccessible::queryAccessibleInterface(Find(WindowId::FrmWireless, "optConnectionMode_0"));
  ASSERT_NE(option, nullptr);
  EXPECT_EQ(option->text(QAccessible::Name), "Infrastructure");
  EXPECT_EQ(option->parent()->role(), QAccessible::Grouping);
  EXPECT_EQ(option->parent()->text(QAccessible::Name), "Connection Mode");

  auto heard = [this](const char* value) {
    return QAccessible::queryAccessibleInterface(Find(WindowId::FrmSetupEnd, value))->text(QAccessible::Name);
  };
  Click(WindowId::FrmWireless, "CmdNext");
  ASSERT_TRUE(Shown(WindowId::FrmSetupEnd));
  EXPECT_EQ(heard("LblID"), "Admin ID: admin");
  EXPECT_EQ(heard("LblSSID"), "SSID: HomeNet");
  Click(WindowId::FrmSetupEnd, "CmdBack");
  Type(WindowId::FrmWireless, "txtWlanESSID", "Attic");
  Click(WindowId::FrmWireless, "CmdNext");
  ASSERT_TRUE(Shown(WindowId::FrmSetupEnd));
  EXPECT_EQ(heard("LblSSID"), "SSID: Attic") << "the name follows the value";
}

TEST_F(FlowTest, TheConflictBoxIsOverTheChangeAddressDialogWhichStaysInFront) {
  program->state.CurrentIPAddress = u"127.77.0.50";
  program->state.CurrentSubnetMask = u"255.255.255.0";
  program->state.CurrentGateway = u"127.77.0.1";
  camTemp.addressInUse = {-1};
  desktop.Dispatch([&] { Show(*program, program->changeIPAddress); });
  desktop::WindowView* dialog = desktop.View(WindowId::FrmChangeIPAddress);
  ASSERT_NE(dialog, nullptr);
  EXPECT_TRUE(dialog->isWindow());
  EXPECT_EQ(dialog->parentWidget(), desktop.Main());
  EXPECT_EQ(dialog->windowModality(), Qt::WindowModal);
  EXPECT_EQ(QApplication::activeModalWidget(), dialog);

  QWidget* boxOver = nullptr;
  bool boxModal = false;
  desktop.SetMessageBoxFunction([&](const desktop::MessageRequest& request) {
    messages.push_back(request);
    WhenModalOpens([&](QWidget& box) {
      boxOver = box.parentWidget();
      boxModal = box.isModal();
      qobject_cast<QMessageBox*>(&box)->button(QMessageBox::Ok)->click();
    });
    return desktop::ShowQtMessageBox(request);
  });
  Click(WindowId::FrmChangeIPAddress, "CmdOk");
  ASSERT_EQ(messages.size(), 1U);
  EXPECT_TRUE(U8(messages[0].text).ends_with(" IP conflict !!"));
  EXPECT_EQ(messages[0].over, dialog);
  EXPECT_EQ(boxOver, dialog) << "the box belongs to the dialog, not to the main window";
  EXPECT_TRUE(boxModal);
  EXPECT_TRUE(dialog->isVisible());
  EXPECT_EQ(QApplication::activeModalWidget(), dialog) << "once the box is gone the dialog is the modal window again";
}

TEST_F(FlowTest, TheStatusBarCountsTheCamerasAndExplainsAnEmptySearch) {
  EXPECT_EQ(desktop.Main()->Count(), "2 cameras");
  cam.devices.clear();
  Click(WindowId::FrmMain, "Command1");
  EXPECT_EQ(desktop.Main()->Count(), "no cameras answered — check the cable and the firewall (docs)");
  cam.devices = {Device(3, u"127.77.0.12", u"CS-200")};
  QApplication::setActiveWindow(desktop.Main());
  ASSERT_TRUE(QTest::qWaitForWindowActive(desktop.Main()));
  QTest::keyClick(desktop.Main(), Qt::Key_F5);
  EXPECT_EQ(desktop.Main()->Count(), "1 camera") << "F5 searches";
  EXPECT_EQ(ListText(0, 0), "Camera 3");
}

TEST_F(FlowTest, TheListsMenuCopiesTheRowsAddressAndMacAndStartsTheWizard) {
  QTreeView* list = List();
  const QPoint second = list->visualRect(list->model()->index(1, 1)).center();
  struct MenuCase {
    QString action;
    QString copied;
  };
  for (const MenuCase& c : {MenuCase{"Copy &address", "127.77.0.11"}, MenuCase{"Copy &MAC", "00 40 8C 01 02 02"}}) {
    WhenModalOpens([&](QWidget& menu) {
      for (QAction* action : qobject_cast<QMenu*>(&menu)->actions()) {
        if (action->text() == c.action) action->trigger();
      }
      menu.close();
    });
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, second);
    emit list->customContextMenuRequested(second);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), c.copied);
  }
  WhenModalOpens([](QWidget& menu) {
    QAction* start = qobject_cast<QMenu*>(&menu)->actions().first();
    menu.close();
    start->trigger();
  });
  const QPoint first = list->visualRect(list->model()->index(0, 1)).center();
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, first);
  emit list->customContextMenuRequested(first);
  EXPECT_TRUE(Shown(WindowId::FrmSetPassword)) << "the menu's first action starts the wizard";
  EXPECT_EQ(U8(program->state.DeviceMac), "0.64.140.1.2.1");
}

}  // namespace
