// The about box: its design-time version, and OK going back to the main
// window.
#include <gtest/gtest.h>

#include "wizard/program_fixture.h"
#include "wizard/frm_sys_about.h"

namespace {

class AboutTest : public ProgramTest {};

TEST_F(AboutTest, OkShowsTheMainWindowThenUnloadsTheBox) {
  StartWith({Camera(1, u"10.0.0.5")});
  Main().CmdAbout_Click();
  EXPECT_EQ(desktop.visible, std::set<forms::WindowId>{forms::WindowId::FrmSysAbout});
  FrmSysAbout& about = *program.sysAbout;
  EXPECT_EQ(about.Label1.caption, u"2.61.0");
  EXPECT_EQ(about.form.caption, u"Setup Wizard");
  log.Clear();
  about.CmdOk_Click();
  EXPECT_LOG(log, "show FrmMain", "unload FrmSysAbout");
  EXPECT_EQ(desktop.visible, std::set<forms::WindowId>{forms::WindowId::FrmMain});
  EXPECT_FALSE(program.sysAbout);
  // A second opening starts a fresh box that the main window fills again.
  Main().CmdAbout_Click();
  EXPECT_EQ(program.sysAbout->Label1.caption, u"2.61.0");
}

TEST_F(AboutTest, TheBoxAloneShowsItsDesignTimeVersion) {
  StartWith({});
  EXPECT_EQ(Load(program, program.sysAbout).Label1.caption, u"2.21");
  EXPECT_TRUE(log.lines.empty());
}

}  // namespace
