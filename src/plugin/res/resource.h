// Resource ids of Pellumin.dll: shared by the resource script and the code.
#pragma once

// Strings (language 2052).
#define IDS_PUSH_SERVICE      10002 /* caption of the feature entry "group.Push" */
#define IDS_ADDIN_DESCRIPTION 10003
#define IDS_TIMING_ROW_KEY    10007 /* recognises the timing row */
#define IDS_HEADER_FONT       10008
#define IDS_LIST_FONT         10009
#define IDS_COLUMN_CODE       10010
#define IDS_COLUMN_NAME       10011
#define IDS_COLUMN_QUANTITY   10012
#define IDS_COLUMN_PRICE      10013
#define IDS_COLUMN_TIME       10014
#define IDS_COLUMN_BUSINESS   10015
#define IDS_BUTTON_CLOSE      10016
#define IDS_BUTTON_NEXT       10017
#define IDS_NOTE_STATUS       10018
#define IDS_ORDER_TEXT        10019 /* trace text of function 202 */
#define IDS_CANCEL_TEXT       10020 /* trace text of function 200 */
#define IDS_ORDER_TIME_LABEL  10021
#define IDS_FILL_TIME_LABEL   10022
#define IDS_NOTE_CATALOG      10023
#define IDS_NOTE_TITLE        10024
#define IDS_NOTE_AUTHOR       10025

// Dialog templates and controls.
#define IDD_PLAIN_DIALOG 4000 /* plain modal dialog that no feature uses */
#define IDD_FILL_LIST    4001 /* the fill list note body */
#define IDC_FILL_LIST    4000 /* the list view of IDD_FILL_LIST */
