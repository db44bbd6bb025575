#include "wizard/frm_set_ip_address.h"
