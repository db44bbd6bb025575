// A camera added by its address from the main window: its row joins the
// list as a search's would and is selected; a camera that cannot be added
// is said in our message and the list stays as it was.
#include <gtest/gtest.h>

#include "wizard/program_fixture.h"

namespace {

class AddByAddressTest : public ProgramTest {};

TEST_F(AddByAddressTest, TheCameraJoinsTheListAndIsSelected) {
  StartWith({Camera(1, u"10.0.0.5")});
  cam.atAddress[u"198.51.100.10"] = Camera(2, u"198.51.100.10", u"ONVIF");
  cam.notes[1] = u"added by address";
  Main().AddCameraByAddress(u"198.51.100.10");
  ASSERT_EQ(Main().List.rows.size(), 2u);
  EXPECT_EQ(program.state.DeviceCount, 2);
  EXPECT_EQ(Main().List.rows[1].cells[1], u"198.51.100.10");
  EXPECT_EQ(Main().List.rows[1].cells[3], u"ONVIF");
  EXPECT_EQ(Main().List.rows[1].cells[4], u"added by address");
  EXPECT_EQ(Main().List.SelectedRow(), 1);
  EXPECT_EQ(program.state.CurrentIPAddress, u"198.51.100.10") << "the selected camera is read as a click reads it";
  EXPECT_TRUE(log.Starting("msgbox").empty());
  EXPECT_EQ(log.Starting("pointer"), (std::vector<std::string>{"pointer 11", "pointer 0"}));
}

// Adding a camera the list holds adds no row and selects the one it has.
TEST_F(AddByAddressTest, ACameraListedAlreadyIsSelected) {
  StartWith({Camera(1, u"10.0.0.5"), Camera(2, u"10.0.0.6")});
  cam.atAddress[u"10.0.0.6:8080"] = Camera(2, u"10.0.0.6");
  Main().AddCameraByAddress(u"10.0.0.6:8080");
  EXPECT_EQ(Main().List.rows.size(), 2u);
  EXPECT_EQ(Main().List.SelectedRow(), 1);
}

struct RefusalCase {
  std::u16string address;
  std::u16string refusal;  // what the control says; empty: its no-answer message
  std::string shown;
};

class AddByAddressRefusalTest : public ProgramTest, public testing::WithParamInterface<RefusalCase> {};

TEST_P(AddByAddressRefusalTest, SaysWhyAndChangesNothing) {
  StartWith({Camera(1, u"10.0.0.5")});
  Choose(0);
  const std::vector<forms::ListView::Row> before = Main().List.rows;
  cam.addRefusal = GetParam().refusal;
  Main().AddCameraByAddress(GetParam().address);
  EXPECT_EQ(log.Starting("msgbox"), (std::vector<std::string>{"msgbox \"" + GetParam().shown +
                                                              "\" title=\"Sentrova\" icon=exclamation buttons=ok"}));
  EXPECT_EQ(Main().List.rows, before);
  EXPECT_EQ(program.state.DeviceCount, 1);
  EXPECT_EQ(Main().List.SelectedRow(), 0);
  EXPECT_EQ(desktop.pointer, forms::DefaultPointer);
}

INSTANTIATE_TEST_SUITE_P(Refusals, AddByAddressRefusalTest,
                         testing::Values(RefusalCase{u"10.1.2.3", u"", "No camera answered at 10.1.2.3 within 1 s"},
                                         RefusalCase{u"10.1.2.3",
                                                     u"10.1.2.3 is outside the loopback network 127.0.0.0/8",
                                                     "10.1.2.3 is outside the loopback network 127.0.0.0/8"},
                                         RefusalCase{u"camera.local", u"not an IPv4 address: camera.local",
                                                     "not an IPv4 address: camera.local"}));

TEST_F(AddByAddressTest, AFailingControlIsShownAsACameraError) {
  StartWith({Camera(1, u"10.0.0.5")});
  cam.failing.insert("AddCamera");
  Main().AddCameraByAddress(u"10.1.2.3");
  EXPECT_EQ(log.Starting("msgbox").size(), 1u);
  EXPECT_EQ(Main().List.rows.size(), 1u);
  EXPECT_EQ(desktop.pointer, forms::DefaultPointer);
}

}  // namespace
