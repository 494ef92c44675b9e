#pragma once

#include "hid/hid_backend.h"

// Real HID devices through hidapi's hidraw implementation.
class Hidapi_Backend : public Hid_Backend {
public:
    Hidapi_Backend();
    std::vector<std::string> enumerate() override;
    std::unique_ptr<Hid_Handle> open(const std::string& path) override;
};
