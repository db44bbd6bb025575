#pragma once
// What the two login dialogs share: their fields, and the rule by which the
// camera accepts an administrator ID and password.
#include <string>

#include "wizard/program.h"

struct LoginFields {
  LoginFields();
  forms::Control SSFrame2;  // empty panel above the fields
  forms::Control SSFrame1;  // holds the labels and the two fields
  forms::Label Label1{{}, u"Enter Admin ID : "};
  forms::Label Label2{{}, u"Enter Password :"};
  forms::TextBox Text1;        // administrator ID
  forms::TextBox TxtPassWord;  // password, shown as "*"
  forms::Button CmdYes{{}, u"OK"};
  forms::Button CmdCancel{{}, u"Cancel"};
};

// Asks the camera (CamTemp) whether the ID and password grant access: the
// login state first, and the login itself only when the camera asks for one.
// A refused password gets its message. True only when access is granted; any
// other answer, or a failure of the camera control (reported), leaves the
// dialog as it is.
bool CameraGrantsAccess(Program& program, std::u16string& adminID, std::u16string& password);
