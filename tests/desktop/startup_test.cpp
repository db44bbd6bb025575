// A start-up error in the dialog sentrova shows before any window exists.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include "desktop/desktop_fixture.h"
#include "desktop/startup.h"

namespace {

TEST(StartupError, ShowsTheTextInACriticalBoxWithNoParentUntilOk) {
  const QString message = QStringLiteral("unknown interface \"no-such-if0\"");
  struct Seen {
    bool shown = false;
    QString title, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    QWidget* parent = nullptr;
    bool modal = false;
  } seen;
  QTimer poll;
  WhenMessageBoxShows(poll, [&](QMessageBox& box) {
    seen = {true, box.windowTitle(), box.text(), box.icon(), box.standardButtons(), box.parentWidget(), box.isModal()};
    box.button(QMessageBox::Ok)->click();
  });
  desktop::ShowStartupError(message);
  ASSERT_TRUE(seen.shown);
  EXPECT_EQ(seen.text, message) << "the text stderr gets after \"sentrova: \"";
  EXPECT_EQ(seen.title, u"Sentrova");
  EXPECT_EQ(seen.icon, QMessageBox::Critical);
  EXPECT_EQ(seen.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
  EXPECT_EQ(seen.parent, nullptr) << "no window exists yet";
  EXPECT_TRUE(seen.modal);
}

TEST(StartupError, NoBoxWhereNobodySeesWindows) {
  ASSERT_EQ(QGuiApplication::platformName(), u"offscreen");
  EXPECT_FALSE(desktop::PlatformShowsWindows()) << "a box nobody can answer would never return";
}

}  // namespace
