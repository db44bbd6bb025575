#include "wizard/frm_setup_end.h"
