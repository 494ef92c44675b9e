#pragma once

#include "hid/hid_backend.h"

// The vendor and product IDs of a hidraw node's uevent line "HID_ID=<bus>:<vendor>:<product>"
// (hex); nothing for any other line.
std::optional<Hid_Attributes> parse_hid_id(const std::string& line);

// Real HID devices through hidapi's hidraw implementation.
class Hidapi_Backend : public Hid_Backend {
public:
    Hidapi_Backend();
    std::vector<std::string> enumerate() override;
    Hid_Open_Result open(const std::string& path) override;
};
