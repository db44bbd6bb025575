#include "wizard/frm_chack_id_pwd.h"

frmchackIDPWD::frmchackIDPWD(Program& program) : program(program) { forms::SetFocus(form, Text1); }

// Every showing starts uncancelled.
void frmchackIDPWD::Form_Activate() { LoginCancelled = false; }

void frmchackIDPWD::CmdYes_Click() {
  EnteredAdminID = Text1.text;
  EnteredPassword = TxtPassWord.text;
  if (CameraGrantsAccess(program, EnteredAdminID, EnteredPassword)) Hide(program, program.chackIDPWD);
}

void frmchackIDPWD::CmdCancel_Click() {
  LoginCancelled = true;
  Hide(program, program.chackIDPWD);
}
