#include "wizard/frm_set_lan_end.h"
