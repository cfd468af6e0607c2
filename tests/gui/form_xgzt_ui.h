#pragma once

// The change dialog's generated form, for the window tests.
#include "ui_form_xgzt.h"
