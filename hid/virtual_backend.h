#pragma once

#include <string>

#include "hid/hid_backend.h"

// Virtual HID devices: programs that stand in for a device, each serving one Unix-domain
// stream socket "<name>.sock" in the virtual device directory. On connect the device sends
// its vendor and product IDs (2 + 2 bytes, big-endian); then 65-byte reports go back to back.
class Virtual_Backend : public Hid_Backend {
public:
    // `directory` empty: $XDG_RUNTIME_DIR/virtual-hid, or the runtime location when unset.
    explicit Virtual_Backend(std::string directory = {});

    std::vector<std::string> enumerate() override;
    Hid_Open_Result open(const std::string& path) override;

    // Time the device has to send its attributes after the connect.
    void set_attributes_timeout_ms(int ms) { attributes_timeout_ms = ms; }

    static std::string default_directory();

private:
    std::string fixed_directory;
    int attributes_timeout_ms;
};
