#pragma once

// The copy dialog's generated form, for the window tests.
#include "ui_form_fzzt.h"
