/* Resource ids and fixed texts of VOKTA4.
 * Plain #defines only, so that a Windows resource script can include this
 * header as well as the C++ code. */
#ifndef VOKTA4_RES_RESOURCE_H
#define VOKTA4_RES_RESOURCE_H

/* Dialog templates and icon */
#define IDD_ABOUTBOX            100
#define IDD_VOKTA4_DIALOG       102
#define IDD_REASON              103
#define IDR_MAINFRAME           128

/* Controls of the main dialog */
#define IDC_WRITE               1000
#define IDC_COMPORT             1001
#define IDC_FIRMWARE            1002
#define IDC_LOG                 1003
#define IDC_PROGRESS            1004
#define IDC_CLOSE               1005
#define IDC_REASON_TEXT         1006
#define IDC_REASON              1007

/* System menu command of the about box */
#define IDM_ABOUTBOX            0x0010

/* String table (there is no 123) */
#define IDS_ABOUTBOX            101
#define IDS_APP_NAME            102
#define IDS_WAIT_POWER          103
#define IDS_CANT_OPEN_PORT      104
#define IDS_POWER_SUPPLY        105
#define IDS_OK_2TABS            106
#define IDS_OK_1TAB             107
#define IDS_OK_3TABS            108
#define IDS_CANT_CREATE_FILE    109
#define IDS_RADIO_CONNECTION    110
#define IDS_BOOT_SENDING        111
#define IDS_BOOT_SEND_ERROR     112
#define IDS_BOOT_START          113
#define IDS_DATA_PROTECT_ERROR  114
#define IDS_FIRMWARE_CONVERT    115
#define IDS_CHANNEL_READ_ERROR  116
#define IDS_DATA_LOADING        117
#define IDS_ROM_CLEAR           118
#define IDS_ROM_CLEAR_ERROR     119
#define IDS_FIRMWARE_WRITE      120
#define IDS_FIRM_WRITE_ERROR    121
#define IDS_DONE                122
#define IDS_RADIO_MODEL         124
#define IDS_VERSION             125

#define STR_ABOUTBOX            "&About VOKTA4..."
#define STR_APP_NAME            "VOKTA4"
#define STR_WAIT_POWER          "Waiting for power on Radio."
#define STR_CANT_OPEN_PORT      "Can't open COM port!"
#define STR_POWER_SUPPLY        "Power Supply?"
#define STR_OK_2TABS            "\t\t......OK"
#define STR_OK_1TAB             "\t......OK"
#define STR_OK_3TABS            "\t\t\t......OK"
#define STR_CANT_CREATE_FILE    "Can not Create data File."
#define STR_RADIO_CONNECTION    "Radio connection."
#define STR_BOOT_SENDING        "Boot program sending."
#define STR_BOOT_SEND_ERROR     "Boot file load or send error."
#define STR_BOOT_START          "Boot program start."
#define STR_DATA_PROTECT_ERROR  "Data Protect Error."
#define STR_FIRMWARE_CONVERT    "Firmware file convert."
#define STR_CHANNEL_READ_ERROR  "Channel data read Error."
#define STR_DATA_LOADING        "Data Loading."
#define STR_ROM_CLEAR           "Rom all Clear."
#define STR_ROM_CLEAR_ERROR     "Rom clear error."
#define STR_FIRMWARE_WRITE      "Firmware write."
#define STR_FIRM_WRITE_ERROR    "Firm write error."
#define STR_DONE                "Done."
#define STR_RADIO_MODEL         "VR-3900"
#define STR_VERSION             "R01.00"
/* The same version as numbers (the version resource, the packages). */
#define VOKTA4_VERSION_MAJOR    1
#define VOKTA4_VERSION_MINOR    0

/* Fixed texts outside the string table */
#define TXT_MESSAGE_CAPTION     "VOKTA4"
#define TXT_TIME_OUT            "Time out"
#define TXT_TIME_OUT_DOT        "Time out."
#define TXT_ERROR               "Error"
#define TXT_NOT_OPEN_PORT       "Not Open COM Port"
#define TXT_LINE_PREFIX         "\tLine "
#define TXT_ABOUT_CAPTION       "About VOKTA4"
#define TXT_ABOUT_LINE1         "VOKTA4 for VR-3900 R01.00"
#define TXT_ABOUT_LINE2         "Firmware update tool for the VR-3900 radio"
#define TXT_FIRMWARE_VERIFY     "Firmware verify."
#define TXT_VERIFY_NOT_POSSIBLE "\t\t\t......not possible"

/* Profile */
#define PROFILE_SECTION         "VOKTA4"
#define PROFILE_KEY_PORT        "PORT"
#define PROFILE_DEFAULT_PORT    "0"
#define PROFILE_KEY_VERIFY      "VERIFY"  /* "1": read the firmware back after the write */

#endif
