#pragma once

// The backup plan dialog's generated form, for the window tests.
#include "ui_form_zdbf.h"
