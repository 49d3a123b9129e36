#include "device_command.h"

#include <iostream>
#include <optional>

#include "platform/devices.h"

namespace qx::tools {

namespace {

namespace qp = qx::platform;

const char* const kUsage =
    "usage: qxmachine device COMMAND ARGS\n"
    "  plug --mfg M --mdl D --vidpid V [--port USB001]\n"
    "                 connects a USB printer; prints the port it is on (the first free USB\n"
    "                 port, or the one the same printer had before, unless --port is given)\n"
    "  unplug PORT    disconnects the printer on PORT (the port itself stays)\n"
    "  list           one line per printer: port, present 0/1, VID/PID, device ID\n";

int Fail(const std::string& reason) {
    std::cerr << "qxmachine device: " << reason << "\n";
    return 2;
}

int Plug(const std::vector<std::string>& args) {
    std::string mfg;
    std::string mdl;
    std::string vidpid;
    std::string port;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& option = args[i];
        if (i + 1 >= args.size()) {
            return Fail("missing value after " + option);
        }
        const std::string& value = args[++i];
        if (option == "--mfg") {
            mfg = value;
        } else if (option == "--mdl") {
            mdl = value;
        } else if (option == "--vidpid") {
            vidpid = value;
        } else if (option == "--port") {
            port = value;
        } else {
            return Fail("unknown option " + option);
        }
    }
    std::string error;
    std::optional<std::string> used = qp::PlugUsbPrinter(mfg, mdl, vidpid, port, &error);
    if (!used) {
        return Fail(error);
    }
    std::cout << *used << "\n";
    return 0;
}

int Unplug(const std::vector<std::string>& args) {
    if (args.size() != 2) {
        return Fail("usage: qxmachine device unplug PORT");
    }
    std::string error;
    return qp::UnplugUsbPrinter(args[1], &error) ? 0 : Fail(error);
}

int List() {
    for (const qp::UsbPrinter& device : qp::EnumUsbPrinters()) {
        std::cout << device.port << "\t" << (device.present ? 1 : 0) << "\t" << device.vidpid
                  << "\t" << device.device_id << "\n";
    }
    return 0;
}

}  // namespace

int RunDeviceCommand(const std::vector<std::string>& args) {
    if (args.empty()) {
        std::cerr << kUsage;
        return 2;
    }
    for (const std::string& arg : args) {
        if (arg == "--help" || arg == "-h") {
            std::cout << kUsage;
            return 0;
        }
    }
    if (args[0] == "plug") {
        return Plug(args);
    }
    if (args[0] == "unplug") {
        return Unplug(args);
    }
    if (args[0] == "list") {
        return List();
    }
    return Fail("unknown command '" + args[0] + "'");
}

}  // namespace qx::tools
