#include "wizard/frm_sys_about.h"

#include "wizard/frm_main.h"

void FrmSysAbout::CmdOk_Click() {
  Program& p = program;
  Show(p, p.frmMain);
  Unload(p, p.sysAbout);
}
