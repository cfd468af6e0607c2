#pragma once

// The restore dialog's generated form, for the window tests.
#include "ui_form_hfzt.h"
