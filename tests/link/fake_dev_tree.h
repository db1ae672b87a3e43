#pragma once

// A /dev and /sys of our own in a temporary folder. Nodes are symlinks to
// real character devices that are no serial ports (/dev/null, /dev/zero, ...:
// never a node with a serial port's numbers), so that what depends on device
// numbers sees real ones; sysfs is folders and files laid out as the kernel
// lays out a USB adapter's tty.
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace rs485::test {

namespace fs = std::filesystem;

class FakeDevTree {
 public:
  FakeDevTree() : root_(fs::temp_directory_path() / ("rs485-devtree-" + std::to_string(getpid()))) {
    fs::remove_all(root_);
    fs::create_directories(root_ / "dev");
    fs::create_directories(root_ / "sys" / "class" / "tty");
    fs::create_directories(root_ / "sys" / "dev" / "char");
  }
  ~FakeDevTree() { fs::remove_all(root_); }
  FakeDevTree(const FakeDevTree&) = delete;
  FakeDevTree& operator=(const FakeDevTree&) = delete;

  std::string dev() const { return (root_ / "dev").string(); }
  std::string sys() const { return (root_ / "sys").string(); }
  std::string at(const std::string& name) const { return (root_ / "dev" / name).string(); }

  // A node that is a regular file: enough for what only looks at names.
  void file(const std::string& name) const { std::ofstream(root_ / "dev" / name); }

  // devRoot/name leads to the real device `node`.
  void node(const std::string& name, const std::string& realNode) const {
    fs::remove(root_ / "dev" / name);
    fs::create_symlink(realNode, root_ / "dev" / name);
  }

  struct Usb {
    std::string port{};  // the USB device's kernel name: "1-1", "1-2.3"
    std::string vendor = "0403";
    std::string product = "6001";
    std::string serial{};  // none when empty
    int interface = 0;
  };

  // A USB adapter's tty `name` on the real device `realNode`, listed in
  // sysfs as the kernel lists it, with its node in devRoot.
  void adapter(const std::string& name, const std::string& realNode, const Usb& usb) const {
    const fs::path device = root_ / "sys" / "devices" / "pci0000:00" / "0000:00:04.0" / "usb1" / usb.port;
    fs::create_directories(device);
    write(device / "idVendor", usb.vendor);
    write(device / "idProduct", usb.product);
    if (!usb.serial.empty()) write(device / "serial", usb.serial);
    const fs::path interface = device / (usb.port + ":1." + std::to_string(usb.interface));
    fs::create_directories(interface);
    write(interface / "bInterfaceNumber", "0" + std::to_string(usb.interface));
    tty(name, realNode, interface / name);
  }

  // An on-board UART's tty: a device of its own, no USB above it.
  void onBoard(const std::string& name, const std::string& realNode) const {
    tty(name, realNode, root_ / "sys" / "devices" / "platform" / "serial8250" / name);
  }

  // The adapter is pulled out: its node and its sysfs entries go.
  void unplug(const std::string& name) const {
    const fs::path listed = root_ / "sys" / "class" / "tty" / name;
    const fs::path folder = fs::canonical(listed);
    fs::remove(root_ / "sys" / "dev" / "char" / attribute(folder / "dev"));
    fs::remove(listed);
    fs::remove_all(folder.parent_path().parent_path().parent_path().parent_path());  // the USB device
    fs::remove(root_ / "dev" / name);
  }

 private:
  static void write(const fs::path& file, const std::string& text) { std::ofstream(file) << text << "\n"; }
  static std::string attribute(const fs::path& file) {
    std::ifstream in(file);
    std::string word;
    in >> word;
    return word;
  }

  void tty(const std::string& name, const std::string& realNode, const fs::path& parent) const {
    struct stat status {};
    stat(realNode.c_str(), &status);
    const std::string number =
        std::to_string(major(status.st_rdev)) + ":" + std::to_string(minor(status.st_rdev));
    const fs::path folder = parent / "tty" / name;
    fs::create_directories(folder);
    write(folder / "dev", number);
    fs::create_directory_symlink(parent, folder / "device");
    fs::create_directory_symlink(folder, root_ / "sys" / "class" / "tty" / name);
    fs::create_directory_symlink(folder, root_ / "sys" / "dev" / "char" / number);
    node(name, realNode);
  }

  fs::path root_;
};

}  // namespace rs485::test
