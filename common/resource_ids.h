// Resource and control identifiers shared by the resource scripts (windres reads
// this file: plain #defines only) and the page logic, so that a dialog template
// and the code that drives it cannot disagree about a control.
#ifndef KV4T_COMMON_RESOURCE_IDS_H
#define KV4T_COMMON_RESOURCE_IDS_H

/* Dialog templates. */
#define IDD_ABOUT 100
#define IDD_RS485 103
#define IDD_LOOP 104
#define IDD_TEST 105
#define IDD_SETTINGS 106

/* The program icon. */
#define IDR_MAINFRAME 128

/* Controls of the About box. */
#define IDC_ABOUT_TITLE 1022
#define IDC_ABOUT_NOTICE 1023
#define IDC_ABOUT_BUILD 1024

/* Controls of the pages. The same number names different controls on different
   pages, as the templates give them. */
#define IDC_BAUD 1002
#define IDC_BYTESIZE 1003
#define IDC_PARITY 1004
#define IDC_STOPBITS 1005
#define IDC_PROTOCOL 1006      /* RS-485 page: protocol list */
#define IDC_PORT 1006          /* computer-port page: COM port list */
#define IDC_ADDRESS_LENGTH 1007
#define IDC_RS485_ADDRESS 1008
#define IDC_RS485_DELAY 1009
#define IDC_RS485_ADDRESS_SPIN 1010
#define IDC_RS485_DELAY_SPIN 1011
#define IDC_TEST_LOG 1011      /* line-test page: the protocol box */
#define IDC_ADAPTOR 1012       /* computer-port page: adaptor list */
#define IDC_TEST_BUTTON 1012   /* line-test page: start / stop */
#define IDC_DEFAULTS 1013
#define IDC_LOOP_TYPE 1014
#define IDC_LOOP_POLL 1015
#define IDC_LOOP_POLL_SPIN 1016
#define IDC_LINK_ADDRESS 1017
#define IDC_LINK_ADDRESS_SPIN 1018
#define IDC_TEST_STATUS 1019
#define IDC_LOOP_READ 1021

/* Sheet commands. */
#define IDC_SHEET_APPLY 12321
#define IDM_ABOUT 16

/* String table. */
#define IDS_ABOUT_MENU 101
#define IDS_TAB_RS485 102
#define IDS_TAB_LOOP 103
#define IDS_TAB_TEST 104
#define IDS_TAB_SETTINGS 105
#define IDS_NO_DEVICE_OBJECT 121
#define IDS_FATAL_CAPTION 122
#define IDS_SHEET_CAPTION 124
#define IDS_CANNOT_USE_PORT 125
#define IDS_ERROR_CAPTION 126
#define IDS_NO_LINK 127
#define IDS_NOT_KV4T 128
#define IDS_LOOP_READ_FAILED 129
#define IDS_PARAMS_LOAD_FAILED 130
#define IDS_LOOP_WRITE_FAILED 131
#define IDS_RS485_WRITE_FAILED 132
#define IDS_TEST_STOP 133
#define IDS_TEST_START 134
#define IDS_NO_LINK_JUMPER 135
#define IDS_NOT_KV4T_JUMPER 136
/* Tooltips of the page controls. */
#define IDS_TIP_RS485_BAUD 137
#define IDS_TIP_BYTESIZE 138
#define IDS_TIP_PARITY 139
#define IDS_TIP_STOPBITS 140
#define IDS_TIP_PROTOCOL 141
#define IDS_TIP_ADDRESS_LENGTH 142
#define IDS_TIP_ADDRESS 143
#define IDS_TIP_DELAY 144
#define IDS_TIP_LOOP_TYPE 145
#define IDS_TIP_LOOP_BAUD 146
#define IDS_TIP_LOOP_POLL 147
#define IDS_TIP_PORT 148
#define IDS_TIP_ADAPTOR 149
#define IDS_TIP_LINK_BAUD 150
#define IDS_TIP_DEFAULTS 151
#define IDS_TIP_TEST_START 152
#define IDS_TIP_TEST_STOP 153
#define IDS_TIP_APPLY 154
#define IDS_TIP_OK 155
#define IDS_TIP_CANCEL 156
#define IDS_ABOUT_TITLE 157
/* The sheet's button captions, in a block of the table of their own (strings are
   kept in blocks of 16; 160 begins one). */
#define IDS_SHEET_CANCEL 160
#define IDS_SHEET_APPLY 161
#define IDS_SHEET_HELP 162

#endif
