// Ids of the installer's embedded resources and of the controls of its two dialogs. Read by
// the resource compiler and by the form code alike: plain defines, no platform header.
#pragma once

// The terms box.
#define IDD_TERMS 103
#define IDR_TERMS_TEXT 104
#define IDC_TERMS_TEXT 111

// The archive payload: type "ARCHIVE", added by the payload's own resource script; beside
// it the payload's size and zlib CRC-32, little-endian 32-bit each, recorded by the build.
#define IDR_ARCHIVE 105
#define IDR_ARCHIVE_CHECK 106

// The installation form.
#define IDD_INSTALL 113
#define IDC_INSTALL 106
#define IDC_ACCEPT 110
#define IDC_VIEW_LICENSE 112
#define IDC_TABS 1025
// Eight rows of three consecutive ids: check box, folder field, Browse.
#define IDC_ROW1_CHECK 1029
#define IDC_ROW1_FOLDER 1030
#define IDC_ROW1_BROWSE 1031
#define IDC_ROW2_CHECK 1032
#define IDC_ROW2_FOLDER 1033
#define IDC_ROW2_BROWSE 1034
#define IDC_ROW3_CHECK 1035
#define IDC_ROW3_FOLDER 1036
#define IDC_ROW3_BROWSE 1037
#define IDC_ROW4_CHECK 1038
#define IDC_ROW4_FOLDER 1039
#define IDC_ROW4_BROWSE 1040
#define IDC_ROW5_CHECK 1041
#define IDC_ROW5_FOLDER 1042
#define IDC_ROW5_BROWSE 1043
#define IDC_ROW6_CHECK 1044
#define IDC_ROW6_FOLDER 1045
#define IDC_ROW6_BROWSE 1046
#define IDC_ROW7_CHECK 1047
#define IDC_ROW7_FOLDER 1048
#define IDC_ROW7_BROWSE 1049
#define IDC_ROW8_CHECK 1050
#define IDC_ROW8_FOLDER 1051
#define IDC_ROW8_BROWSE 1052
#define IDC_PAGE_PICTURE 1053
#define IDC_OVERVIEW 1054
#define IDC_OVERVIEW_CAPTION 1055
#define IDC_HINT 1056

// Bitmaps: the banner, the page pictures (64 x 64) and the small icons (16 x 16).
#define IDB_BANNER 111
#define IDB_PAGE_3DSMAX 117
#define IDB_ICON_MICROSTATION 118
#define IDB_PAGE_ARCHICAD 119
#define IDB_ICON_ARCHICAD 120
#define IDB_PAGE_CINEMA4D 121
#define IDB_ICON_CINEMA4D 122
#define IDB_ICON_3DSMAX 123
#define IDB_PAGE_MICROSTATION 124
#define IDB_ICON_SDK 125
#define IDB_PAGE_SDK 126
