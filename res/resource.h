// Identifiers of the program's resources, shared by setup.rc and the code.
#pragma once

#define IDI_APP                     128
#define IDB_BACKDROP                131
#define IDI_FINISH                  132
#define IDI_BROWSE_TARGET           133
#define IDI_INSTALL_SCRIPTS         134
#define IDI_INSTALL                 135
#define IDI_CANCEL                  136
#define IDI_UNINSTALL               139
#define IDI_OVERWRITE_QUESTION                142

// The install window.
#define IDD_INSTALL                 103
#define IDC_ANIMATION               1000
#define IDC_STATUS_TEXT             1001
#define IDC_WEB_PLACEHOLDER         1002
#define IDC_SOURCE_TEXT             1003
#define IDC_PROGRESS                1004
#define IDC_INSTALL_NOW             1005
#define IDC_INSTALL_FOLDER          1006
#define IDC_LICENCE_ACCEPTED        1007
#define IDC_FRAME_SCRIPT            1008
#define IDC_FRAME_DOWNLOAD          1009
#define IDC_FRAME_INSTALL           1010
#define IDC_FRAME_FINISH            1011
#define IDC_SCRIPT_TARGETS          1012
#define IDC_INSTALL_TOOLBAR         1013
#define IDC_TIME_LEFT               1014
#define IDC_START_PRODUCT           1015
#define IDC_RATE                    1016
#define IDC_FINISH                  1017
#define IDC_INSTALL_SCRIPTS         1018
#define IDC_BACKDROP                1019
#define IDC_PICK_TARGET             1020
#define IDC_CANCEL_INSTALL          1021
#define IDC_TIME_LEFT_CAPTION       1023
#define IDC_RATE_CAPTION            1024
#define IDC_VERSION_TEXT            1025
#define IDC_LICENCE_LINK            1026
#define IDC_UNINSTALL               1027

// The overwrite prompt.
#define IDD_OVERWRITE               140
#define IDC_OVERWRITE               1028
#define IDC_OVERWRITE_ALL           1029
#define IDC_SKIP                    1030
#define IDC_SKIP_ALL                1031
#define IDC_QUESTION                1032

#ifndef IDC_STATIC
#define IDC_STATIC                  (-1)
#endif
