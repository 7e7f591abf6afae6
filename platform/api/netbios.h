#pragma once
// The adapter queries of the NetBIOS call the program makes. Adapters are the network
// interfaces other than loopback that carry a hardware address, numbered in the order
// of their interface index.
#include "platform/api/types.h"

using UCHAR = unsigned char;
using PUCHAR = UCHAR*;

constexpr UCHAR NCBRESET = 0x32;
constexpr UCHAR NCBASTAT = 0x33;
constexpr UCHAR NCBENUM = 0x37;

constexpr UCHAR NRC_GOODRET = 0x00;
constexpr UCHAR NRC_BUFLEN = 0x01;  // buffer missing or too small
constexpr UCHAR NRC_ILLCMD = 0x03;  // command not supported
constexpr UCHAR NRC_BRIDGE = 0x23;  // no such adapter number
constexpr UCHAR NRC_SYSTEM = 0x40;  // the system could not be asked

constexpr int NCBNAMSZ = 16;
constexpr int MAX_LANA = 254;

struct NCB {
    UCHAR ncb_command;
    UCHAR ncb_retcode;
    UCHAR ncb_lsn;
    UCHAR ncb_num;
    PUCHAR ncb_buffer;
    WORD ncb_length;
    UCHAR ncb_callname[NCBNAMSZ];
    UCHAR ncb_name[NCBNAMSZ];
    UCHAR ncb_rto;
    UCHAR ncb_sto;
    UCHAR ncb_lana_num;
    UCHAR ncb_cmd_cplt;
};
using PNCB = NCB*;

struct LANA_ENUM {
    UCHAR length;
    UCHAR lana[MAX_LANA + 1];
};

// Filled by NCBASTAT; the hardware address comes first.
struct ADAPTER_STATUS {
    UCHAR adapter_address[6];
    UCHAR rev_major;
    UCHAR reserved0;
    UCHAR adapter_type;
    UCHAR rev_minor;
    WORD name_count;  // no names are registered here: always 0
};

// Runs the command synchronously; returns the return code, also left in ncb_retcode.
UCHAR Netbios(PNCB pncb);
