// "Add camera by address…" in the main window: the dialog's field, what it
// lets through, and the camera's row or our message afterwards.
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QSettings>

#include "desktop_fixture.h"

namespace {

class AddByAddressTest : public DesktopTest {
 protected:
  // Runs the menu action; `fill` meets the dialog once it shows.
  void AddByMenu(const std::function<void(QDialog&, QLineEdit&, QPushButton&)>& fill) {
    desktop::MainFrame* frame = desktop.Main();
    ASSERT_NE(frame, nullptr);
    auto* action = frame->findChild<QAction*>(QStringLiteral("AddByAddress"));
    ASSERT_NE(action, nullptr);
    EXPECT_EQ(action->text(), QStringLiteral("Add camera by &address…"));
    QTimer poll;
    bool met = false;
    QObject::connect(&poll, &QTimer::timeout, [&] {
      auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
      if (dialog == nullptr || dialog->objectName() != u"AddressDialog" || !dialog->isVisible()) return;
      poll.stop();
      met = true;
      auto* field = dialog->findChild<QLineEdit*>(QStringLiteral("CameraAddress"));
      auto* buttons = dialog->findChild<QDialogButtonBox*>();
      ASSERT_TRUE(field != nullptr && buttons != nullptr);
      EXPECT_EQ(dialog->parentWidget(), frame) << "the dialog belongs to the main window";
      fill(*dialog, *field, *buttons->button(QDialogButtonBox::Ok));
      if (dialog->isVisible()) dialog->reject();
    });
    poll.start(5);
    action->trigger();
    EXPECT_TRUE(met) << "the dialog showed";
  }
};

TEST_F(AddByAddressTest, TheAddedCameraIsListedSelectedAndItsAddressRemembered) {
  StartWith({Device(1, u"127.77.0.5", u"CS-200")});
  cam.atAddress[u"127.77.0.9:8080"] = Device(2, u"127.77.0.9", u"ONVIF");
  cam.notes[1] = u"added by address";
  AddByMenu([](QDialog& dialog, QLineEdit& field, QPushButton& add) {
    auto* label = dialog.findChild<QLabel*>();
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->buddy(), &field) << "the field has its label";
    QTest::keyClicks(&field, QStringLiteral("127.77.0.9:8080"));
    EXPECT_TRUE(add.isEnabled());
    QTest::mouseClick(&add, Qt::LeftButton);
  });
  ASSERT_EQ(List()->model()->rowCount(), 2);
  EXPECT_EQ(ListText(1, 2), QStringLiteral("127.77.0.9"));
  EXPECT_EQ(program->frmMain->List.SelectedRow(), 1);
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(QSettings(QStringLiteral("sentrova"), QStringLiteral("sentrova"))
                .value(QStringLiteral("MainWindow/lastCameraAddress"))
                .toString(),
            QStringLiteral("127.77.0.9:8080"));
  // The next time the dialog offers it again.
  AddByMenu(
      [](QDialog&, QLineEdit& field, QPushButton&) { EXPECT_EQ(field.text(), QStringLiteral("127.77.0.9:8080")); });
}

TEST_F(AddByAddressTest, TheFieldTakesOnlyAnAddressAndAPort) {
  StartWith({});
  AddByMenu([](QDialog&, QLineEdit& field, QPushButton& add) {
    field.clear();
    QTest::keyClicks(&field, QStringLiteral("cam-1.local; rm"));
    EXPECT_EQ(field.text(), QStringLiteral("1.")) << "letters and other signs are not typed";
    EXPECT_FALSE(add.isEnabled());
    field.clear();
    QTest::keyClicks(&field, QStringLiteral("127.0.0.1:99999x"));
    EXPECT_EQ(field.text(), QStringLiteral("127.0.0.1:99999"));
    // Add waits for a whole address and says why it waits.
    auto* reason = field.parentWidget()->findChild<QLabel*>(QStringLiteral("AddressReason"));
    ASSERT_NE(reason, nullptr);
    const struct {
      const char* typed;
      bool whole;
    } entries[] = {{"127.0.0.1:99999", false}, {"192.0.2.300", false}, {"127.0.0", false},
                   {"127.0.0.1:", false},      {"127.0.0.1", true},    {"127.0.0.1:8080", true}};
    for (const auto& entry : entries) {
      field.setText(QString::fromLatin1(entry.typed));
      EXPECT_EQ(add.isEnabled(), entry.whole) << entry.typed;
      EXPECT_EQ(reason->text().isEmpty(), entry.whole) << entry.typed;
    }
  });
  EXPECT_TRUE(cam.atAddress.empty());
  EXPECT_TRUE(log.Starting("cam.AddCamera").empty()) << "a cancelled dialog adds nothing";
}

TEST_F(AddByAddressTest, ACameraThatDoesNotAnswerIsSaidInOurMessage) {
  StartWith({Device(1, u"127.77.0.5", u"CS-200")});
  AddByMenu([](QDialog&, QLineEdit& field, QPushButton& add) {
    field.setText(QStringLiteral("127.77.0.20"));
    QTest::mouseClick(&add, Qt::LeftButton);
  });
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(U8(messages[0].text), "No camera answered at 127.77.0.20 within 1 s");
  EXPECT_EQ(U8(messages[0].title), "Sentrova");
  EXPECT_EQ(messages[0].icon, forms::MsgIcon::Exclamation);
  EXPECT_EQ(List()->model()->rowCount(), 1);
}

}  // namespace
