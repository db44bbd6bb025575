#include "wizard/frm_sys_about.h"
