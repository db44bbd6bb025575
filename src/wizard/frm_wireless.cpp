#include "wizard/frm_wireless.h"
