#include "regex/modRegEx.h"
