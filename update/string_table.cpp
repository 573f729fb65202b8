#include "update/string_table.h"

#include "res/resource.h"

std::string LoadStringResource(unsigned id)
{
    switch (id) {
    case IDS_ABOUTBOX: return STR_ABOUTBOX;
    case IDS_APP_NAME: return STR_APP_NAME;
    case IDS_WAIT_POWER: return STR_WAIT_POWER;
    case IDS_CANT_OPEN_PORT: return STR_CANT_OPEN_PORT;
    case IDS_POWER_SUPPLY: return STR_POWER_SUPPLY;
    case IDS_OK_2TABS: return STR_OK_2TABS;
    case IDS_OK_1TAB: return STR_OK_1TAB;
    case IDS_OK_3TABS: return STR_OK_3TABS;
    case IDS_CANT_CREATE_FILE: return STR_CANT_CREATE_FILE;
    case IDS_RADIO_CONNECTION: return STR_RADIO_CONNECTION;
    case IDS_BOOT_SENDING: return STR_BOOT_SENDING;
    case IDS_BOOT_SEND_ERROR: return STR_BOOT_SEND_ERROR;
    case IDS_BOOT_START: return STR_BOOT_START;
    case IDS_DATA_PROTECT_ERROR: return STR_DATA_PROTECT_ERROR;
    case IDS_FIRMWARE_CONVERT: return STR_FIRMWARE_CONVERT;
    case IDS_CHANNEL_READ_ERROR: return STR_CHANNEL_READ_ERROR;
    case IDS_DATA_LOADING: return STR_DATA_LOADING;
    case IDS_ROM_CLEAR: return STR_ROM_CLEAR;
    case IDS_ROM_CLEAR_ERROR: return STR_ROM_CLEAR_ERROR;
    case IDS_FIRMWARE_WRITE: return STR_FIRMWARE_WRITE;
    case IDS_FIRM_WRITE_ERROR: return STR_FIRM_WRITE_ERROR;
    case IDS_DONE: return STR_DONE;
    case IDS_RADIO_MODEL: return STR_RADIO_MODEL;
    case IDS_VERSION: return STR_VERSION;
    default: return std::string();
    }
}

std::string TitleText(const std::string& mode)
{
    return LoadStringResource(IDS_APP_NAME) + " " + mode + " (" + LoadStringResource(IDS_VERSION) + ") for " +
           LoadStringResource(IDS_RADIO_MODEL);
}
