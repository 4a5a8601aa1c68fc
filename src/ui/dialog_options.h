#pragma once

// The two option dialogs with their entry points, as the main window's
// commands "表示(&V)..." and "機能(&F)..." open them:
//   int run_view_options(QWidget* parent, Settings& settings, reporter& report);
//   int run_function_options(QWidget* parent, Settings& settings, reporter& report);
// Each gives 1 when the settings were saved and 2 when the user cancelled.

#include "ui/dialog_option_function.h"
#include "ui/dialog_option_view.h"
