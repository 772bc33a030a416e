// Resource identifiers of quorvel.exe. Plain #defines only: this header is
// read by windres for quorvel.rc as well as by the C++ views.
#ifndef QV_APP_RES_RESOURCE_IDS_H
#define QV_APP_RES_RESOURCE_IDS_H

// Program icon. Explorer and the window class show the first icon group,
// so it has the lowest identifier.
#define IDI_QUORVEL 1

// Row icons of the monitor list: one pair per monitor kind 1..7, the second
// of each pair for a monitor that has fired.
#define IDI_KIND_BASE 100
#define IDI_KIND(kind) (IDI_KIND_BASE + 2 * (kind))
#define IDI_KIND_FIRED(kind) (IDI_KIND_BASE + 2 * (kind) + 1)
#define IDI_KIND_MIN 1
#define IDI_KIND_MAX 7
#define IDI_KIND1 102        // 移动止盈
#define IDI_KIND1_FIRED 103
#define IDI_KIND2 104        // 价位
#define IDI_KIND2_FIRED 105
#define IDI_KIND3 106        // 对买对卖 (no editor)
#define IDI_KIND3_FIRED 107
#define IDI_KIND4 108        // 时间
#define IDI_KIND4_FIRED 109
#define IDI_KIND5 110        // 条件止损
#define IDI_KIND5_FIRED 111
#define IDI_KIND6 112        // 限价下跌反弹
#define IDI_KIND6_FIRED 113
#define IDI_KIND7 114        // 指数
#define IDI_KIND7_FIRED 115

// State icons of the list's second column; start and stop are also the
// pictures of the menu items "启动所有监控[&S]" and "停止所有监控[&P]".
#define IDI_STATE_START 200
#define IDI_STATE_STOP 201
#define IDI_STATE_TRIGGERED 202

// Toolbar pictures (16 and 24 px), in toolbar order.
#define IDI_TB_START 300
#define IDI_TB_STOP 301
#define IDI_TB_PAYOFF 302
#define IDI_TB_LOSSLIMIT 303
#define IDI_TB_PRICE 304
#define IDI_TB_TIME 305
#define IDI_TB_SHOWSTOCK 306
#define IDI_TB_REFRESH 307
#define IDI_TB_COUNT 8

// Tray animation: frame 0 is the normal tray icon.
#define IDI_TRAY0 400
#define IDI_TRAY1 401
#define IDI_TRAY2 402
#define IDI_TRAY3 403
#define IDI_TRAY_FRAMES 4

// User level pictures 0..9 of the status bar and the account dialog.
#define IDI_LEVEL_BASE 500
#define IDI_LEVEL(level) (IDI_LEVEL_BASE + (level))
#define IDI_LEVEL_COUNT 10
#define IDI_LEVEL0 500
#define IDI_LEVEL1 501
#define IDI_LEVEL2 502
#define IDI_LEVEL3 503
#define IDI_LEVEL4 504
#define IDI_LEVEL5 505
#define IDI_LEVEL6 506
#define IDI_LEVEL7 507
#define IDI_LEVEL8 508
#define IDI_LEVEL9 509

// Speed pictures of the network delay: class 0 (none yet) to 5 (very fast).
#define IDI_SPEED_BASE 600
#define IDI_SPEED(n) (IDI_SPEED_BASE + (n))
#define IDI_SPEED0 600
#define IDI_SPEED1 601
#define IDI_SPEED2 602
#define IDI_SPEED3 603
#define IDI_SPEED4 604
#define IDI_SPEED5 605

// The finder cursor of the trading-window caption tool is a named resource:
// LoadCursorW(instance, QV_CURSOR_FINDER).
#define QV_CURSOR_FINDER L"CURSOR1"

// Version resource and manifest.
#define IDV_VERSION 1
#define IDR_MANIFEST 1

#endif
