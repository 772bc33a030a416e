// Every wrapper of the control layer, for view files.
#pragma once

#include "win/app_win.h"
#include "win/bars_win.h"
#include "win/control_win.h"
#include "win/controls_win.h"
#include "win/gui_queue_win.h"
#include "win/listview_win.h"
#include "win/painted_win.h"
#include "win/richedit_win.h"
#include "win/shell_win.h"
#include "win/text_win.h"
#include "win/timer_win.h"
#include "win/window_win.h"
