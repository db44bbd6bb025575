#include "wizard/frm_set_password.h"

FrmSetPassword::FrmSetPassword(Program& program) : program(program) {}

void FrmSetPassword::Form_Load() {}
void FrmSetPassword::Form_Activate() {}
void FrmSetPassword::ChkUserName_Click() {}
void FrmSetPassword::ChkPassword_Click() {}
void FrmSetPassword::CmdNext_Click() {}
void FrmSetPassword::CmdBack_Click() {}
void FrmSetPassword::CmdExit_Click() {}
