// Every numbered resource, message and command of Nearwatch.
// The numbers are the program's public contract: translators key their
// language files on them and the end-to-end tests drive the program by them.
// Resource types keep their own number spaces, so a menu and an icon may
// share a number.
#pragma once

// ---- Icons ----------------------------------------------------------------
#define IDI_MAIN                101   // window and class icon
#define IDI_ROW                 102   // small icon shown on every list row
#define IDI_TRAY                109   // notification-area icon and balloon icon

// ---- Cursors --------------------------------------------------------------
#define IDC_LINK                103   // pointing hand over links

// ---- Bitmaps --------------------------------------------------------------
#define IDB_TOOLBAR             104   // seven 16x16 toolbar images
#define IDB_SORT_UP             133   // ascending sort indicator
#define IDB_SORT_DOWN           134   // descending sort indicator

// ---- Menus and accelerators -----------------------------------------------
#define IDM_MAIN                102   // menu bar of the main window
#define IDM_CONTEXT             104   // first pop-up: the list's context menu
#define IDM_TRAY                110   // first pop-up: the tray menu
#define IDA_MAIN                103   // accelerator table

// ---- Dialog templates -----------------------------------------------------
#define IDD_PROPERTIES          105
#define IDD_CRASH               107
#define IDD_ADVANCED            111
#define IDD_ABOUT               112
#define IDD_MQTT                113   // publish to MQTT
#define IDD_COLUMNS             1096

// ---- Controls -------------------------------------------------------------
#ifndef IDOK
#define IDOK                    1
#define IDCANCEL                2
#endif
// main window children
#define IDC_STATUSBAR           257
#define IDC_TOOLBAR             258
#define IDC_DEVICELIST          259
// properties window (105): hidden prototypes of the value and label fields
#define IDC_PROP_VALUE          1000
#define IDC_PROP_LABEL          1001
// crash report (107)
#define IDC_CRASH_COPY          3
#define IDC_CRASH_CONTINUE      1
#define IDC_CRASH_TERMINATE     2
#define IDC_CRASH_TEXT          1002
#define IDC_CRASH_INTRO         1003
#define IDC_CRASH_SENDTEXT      1004
// advanced options (111)
#define IDC_ADV_USE_EXECUTE     1005
#define IDC_ADV_EXECUTE         1006
#define IDC_ADV_VARS_LABEL      1007
#define IDC_ADV_VARS            1008
#define IDC_ADV_USE_SPEAK       1009
#define IDC_ADV_SPEAK           1010
// advanced options (111): departures and the history log
#define IDC_ADV_USE_DEPART_EXECUTE 1011
#define IDC_ADV_DEPART_EXECUTE  1012
#define IDC_ADV_DEPART_VARS_LABEL 1013
#define IDC_ADV_DEPART_VARS     1014
#define IDC_ADV_DEPART_AFTER_LABEL 1015
#define IDC_ADV_DEPART_AFTER    1016
#define IDC_ADV_BALLOON_DEPARTED 1017
#define IDC_ADV_HISTORY_LOG     1018
#define IDC_ADV_SCAN_LE         1019  // Low Energy
#define IDC_ADV_FORGET_LABEL    1020
#define IDC_ADV_FORGET_MINUTES  1021
// about box (112)
#define IDC_ABOUT_ICON          1001
#define IDC_ABOUT_TEXT          1002
#define IDC_ABOUT_LINK          1004
#define IDC_ABOUT_TRANSLATOR_LABEL 1005
#define IDC_ABOUT_TRANSLATOR    1006
// publish to MQTT (113): 1100-1139
#define IDC_MQTT_SERVER_LABEL   1100
#define IDC_MQTT_SERVER         1101
#define IDC_MQTT_TLS            1102
#define IDC_MQTT_PIN_LABEL      1103
#define IDC_MQTT_PIN            1104
#define IDC_MQTT_USER_LABEL     1105
#define IDC_MQTT_USER           1106
#define IDC_MQTT_PASSWORD_LABEL 1107
#define IDC_MQTT_PASSWORD       1108
#define IDC_MQTT_NODE_LABEL     1109
#define IDC_MQTT_NODE           1110
#define IDC_MQTT_TOPIC_LABEL    1111
#define IDC_MQTT_TOPIC          1112
#define IDC_MQTT_DISCOVERY      1113
#define IDC_MQTT_DISCOVERY_ALL  1114
#define IDC_MQTT_TEST           1115
#define IDC_MQTT_RESULT         1116  // the test's outcome in words
#define IDC_ABOUT_NOTICES       1022  // licence notices of the data the program carries
#define IDC_ABOUT_LE            1023  // why Low Energy scanning cannot run; hidden when it can
// column settings (1096)
#define IDC_COL_INSTRUCTIONS    1000
#define IDC_COL_LIST            1001
#define IDC_COL_WIDTH_LABEL     1002
#define IDC_COL_UP              1003
#define IDC_COL_DOWN            1004
#define IDC_COL_WIDTH           1005
#define IDC_COL_SHOW            1006
#define IDC_COL_HIDE            1007
#define IDC_COL_DEFAULTS        1008

// ---- Commands -------------------------------------------------------------
#define IDM_SAVE_SELECTED       40001
#define IDM_EXIT                40002
#define IDM_ABOUT               40003
#define IDM_REFRESH             40004
#define IDM_GRID_LINES          40005
#define IDM_HTML_ALL            40006
#define IDM_SELECT_ALL          40007
#define IDM_COPY_SELECTED       40008
#define IDM_PROPERTIES          40009
#define IDM_HTML_SELECTED       40010
#define IDM_CHOOSE_COLUMNS      40011
#define IDM_AUTOSIZE_COLUMNS    40012
#define IDM_FIND                40014
#define IDM_DESELECT_ALL        40015
#define IDM_INFO_TIP            40022
#define IDM_WEB_PAGE            40023
#define IDM_TRAY_ICON           40024
#define IDM_OPEN_WINDOW         40025
#define IDM_RESET               40027
#define IDM_BALLOON_ON_NEW      40029
#define IDM_OPEN_ON_NEW         40030
#define IDM_MARK_NEW            40032
#define IDM_SORT_ON_UPDATE      40033
#define IDM_BEEP_ON_NEW         40034
#define IDM_ALERT_ONLY_DESC     40035
#define IDM_HIDE_WINDOW         40036
#define IDM_REMOVE_SELECTED     40039
#define IDM_AUTO_DESCRIPTION    40042
#define IDM_CHOOSE_FONT         40043
#define IDM_DEFAULT_FONT        40044
#define IDM_ADVANCED_OPTIONS    40050
#define IDM_CONNECT_PROBE       40051
#define IDM_TIMELINE            40060 // presence timeline in the browser
#define IDM_HISTORY_LOG         40061 // history log on/off (checked)
#define IDM_MQTT_OPTIONS        40062 // the publish-to-MQTT dialog
#define IDM_RATE_HIGH           41101
#define IDM_RATE_MEDIUM         41102
#define IDM_RATE_LOW            41103
#define IDM_RATE_BASE           41100 // IDM_RATE_BASE + UpdateRate

// ---- Private window messages (WM_USER = 1024) ------------------------------
#define NWM_SELECTION_CHANGED   1026  // posted after a burst of selection changes
#define NWM_SCAN_DONE           1049  // scan worker finished
#define NWM_FOCUS_LIST          1052  // application activated
#define NWM_TRAY                1054  // notification-area icon callback
#define NWM_PROBE_RESULT        1059  // wParam = record index, lParam = result
#define NWM_MQTT_STATE          1062  // MQTT client: wParam = ClientState (the dialog's test: its result)
#define NWM_MQTT_MESSAGE        1063  // MQTT client: messages arrived on a subscription
#define NWM_LE_SIGHTINGS        1060  // LE advertisements wait (LeWatcher::Take)
#define NWM_LE_STATE            1061  // the LE watcher's status changed

// ---- Timers ---------------------------------------------------------------
#define IDT_SCAN_CYCLE          1     // one tick per second between scans

// ---- Strings --------------------------------------------------------------
#define IDS_STATUS_DEVICES      4     // "%d Bluetooth devices"
#define IDS_STATUS_SELECTED     5     // ", %d selected"
#define IDS_CREATED_BY          6     // report credit line
#define IDS_SAVE_TITLE          7     // save dialog title
#define IDS_LIST_TITLE          8     // title of the device list
#define IDS_NOT_AVAILABLE       9     // missing time
#define IDS_YES                 10
#define IDS_NO                  11
#define IDS_TRAY_TIP            12    // "%d Bluetooth devices"
#define IDS_ASK_RESET           13
#define IDS_LOADING             14    // "Loading... %d"
#define IDS_BALLOON_TITLE       15
#define IDS_ASK_EXIT            16
#define IDS_PROBE_OK            51
#define IDS_PROBE_FAILED        52    // "... error code %d"
#define IDS_STATUS_PRESENT      60    // ", %d present"
#define IDS_BALLOON_DEPARTED_TITLE 61
#define IDS_TIMELINE_TITLE      62
#define IDS_TIMELINE_DEVICES    63
#define IDS_TIMELINE_MERGED     64
#define IDS_TIMELINE_STILL_PRESENT 65
#define IDS_STATUS_HISTORY_MOVED 66   // ", history log in {2} ..." ({1} the file it left alone)
#define IDS_STATUS_HISTORY_FAILED 67  // ", history log {1} not written: {2}" ({2} the system's reason)
#define IDS_MQTT_LABEL          220   // status-bar part: "MQTT" ": " and the state
#define IDS_MQTT_CONNECTING     221
#define IDS_MQTT_CONNECTED      222
#define IDS_MQTT_OFFLINE        223
#define IDS_MQTT_REFUSED_BASE   224   // 225..229: refused, CONNACK codes 1..5
#define IDS_MQTT_REFUSED_VERSION 225
#define IDS_MQTT_REFUSED_ID     226
#define IDS_MQTT_REFUSED_UNAVAILABLE 227
#define IDS_MQTT_REFUSED_LOGIN  228
#define IDS_MQTT_REFUSED_AUTH   229
#define IDS_MQTT_TLS_REJECTED   230   // the certificate did not pass
#define IDS_MQTT_SENSOR_NAME    231   // Home Assistant's sensor of the present count
#define IDS_MQTT_TEST_RUNNING   232
#define IDS_MQTT_TEST_OK        233
#define IDS_MQTT_TEST_FAILED    234   // followed by ": " and the system's text
#define IDS_MQTT_BAD_SERVER     235
#define IDS_MQTT_BAD_PIN        236
#define IDS_MQTT_PASSWORD_KEPT  237   // the password box's cue: a sealed password is kept
#define IDS_MQTT_REFUSED        238   // refused with a code beyond 5
#define IDS_TRANSPORT_CLASSIC   70    // 70..89: Low Energy
#define IDS_TRANSPORT_LE        71
#define IDS_TRANSPORT_BOTH      72
#define IDS_ADDRESS_PUBLIC      73
#define IDS_ADDRESS_RANDOM_STATIC 74
#define IDS_ADDRESS_PRIVATE     75
#define IDS_STATUS_PRIVATE      76    // ", %d private"
#define IDS_PROP_TX_POWER       77    // properties window labels
#define IDS_PROP_CONNECTABLE    78
#define IDS_PROP_UUIDS          79
#define IDS_PROP_APPEARANCE     80
#define IDS_PROP_MANUFACTURER   81
#define IDS_DBM                 82    // "%d dBm"
#define IDS_ABOUT_NOTICES       83    // licence notice of the Bluetooth numbers
#define IDS_LE_UNAVAILABLE_SHORT 90   // status bar: followed by " (" reason ")"
#define IDS_LE_UNAVAILABLE_LONG  91   // followed by ": " and the reason
#define IDS_LE_WHY_NO_RUNTIME    92   // the reasons
#define IDS_LE_WHY_NOT_SUPPORTED 93
#define IDS_LE_WHY_RADIO_OFF     94
#define IDS_LE_WHY_FAILED        95   // followed by the error code
#define IDS_LE_WHY_RESTARTING    96
#define IDS_FILETYPE_TEXT       501   // 501..507: the save dialog's file types
#define IDS_FILETYPE_TAB        502
#define IDS_FILETYPE_TABULAR    503
#define IDS_FILETYPE_HTML_H     504
#define IDS_FILETYPE_HTML_V     505
#define IDS_FILETYPE_XML        506
#define IDS_FILETYPE_CSV        507
#define IDS_COL_NAME            1001  // column titles
#define IDS_COL_ADDRESS         1002
#define IDS_COL_MAJOR           1003
#define IDS_COL_MINOR           1004
#define IDS_COL_FIRST_SEEN      1005
#define IDS_COL_LAST_SEEN       1006
#define IDS_COL_COUNT           1007
#define IDS_COL_CONNECTED       1008
#define IDS_COL_REMEMBERED      1009
#define IDS_COL_AUTHENTICATED   1010
#define IDS_COL_DESCRIPTION     1011
#define IDS_COL_COMPANY         1012
#define IDS_COL_PROBE           1013
#define IDS_COL_TRANSPORT       1014
#define IDS_COL_SIGNAL          1015
#define IDS_COL_ADDRESS_TYPE    1016
#define IDS_COL_MAKER           1017
#define IDS_MAJOR_BASE          1100  // + major device class
#define IDS_MINOR_COMPUTER_BASE 1200  // + minor class, per major class
#define IDS_MINOR_PHONE_BASE    1300
#define IDS_MINOR_AV_BASE       1400
#define IDS_MINOR_PERIPH_BASE   1500

// ---- Strings of the run without a window (batch/) --------------------------
#define IDS_BATCH_MISSING_KIND   40   // each problem text is followed by ": " and the word
#define IDS_BATCH_UNKNOWN_KIND   41
#define IDS_BATCH_MISSING_FILE   42
#define IDS_BATCH_MISSING_SCANS  43
#define IDS_BATCH_BAD_SCANS      44
#define IDS_BATCH_UNKNOWN_OPTION 45
#define IDS_BATCH_REPEATED       46
#define IDS_BATCH_NO_RADIO       47
#define IDS_BATCH_NOT_WRITTEN    48   // followed by ": " and the path, then the system's text
#define IDS_BATCH_WRITTEN        49   // "%d devices written": one number, then ": " and the path
#define IDS_BATCH_TIMED_OUT      100
#define IDS_BATCH_INTERRUPTED    101
#define IDS_BATCH_SEE_HELP       102
#define IDS_BATCH_CONFLICT       103  // followed by ": " and the option
#define IDS_BATCH_HELP_FIRST     110  // 110..117: the lines of the /? text
#define IDS_BATCH_HELP_EXPORT_LAST 115 // 111..114 are indented under 110
#define IDS_BATCH_HELP_LAST      117
#define IDS_BATCH_NO_BROKER      118  // /publish with no MQTT server set
#define IDS_BATCH_PUBLISHING     119  // followed by ": " and the server
#define IDS_BATCH_PUBLISH_STOPPED 120
#define IDS_BATCH_PUBLISH_ALONE  121  // /publish with /export or /scans
