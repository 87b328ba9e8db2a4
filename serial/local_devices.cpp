// The registry of local devices and the port that routes between them and the system's.
#include "serial/local_devices.h"

#include <atomic>
#include <map>
#include <mutex>

#include "serial/comm.h"

namespace pelorin {
namespace {

std::mutex& RegistryMutex() {
    static std::mutex mutex;
    return mutex;
}

std::map<std::string, ISerialPort*>& Registry() {
    static std::map<std::string, ISerialPort*> registry;
    return registry;
}

ISerialPort* FindLocal(const std::string& path) {
    std::lock_guard lock(RegistryMutex());
    const auto found = Registry().find(path);
    return found == Registry().end() ? nullptr : found->second;
}

// Opens a local device when the number names one, else the system's port.
class RoutingPort final : public ISerialPort {
  public:
    explicit RoutingPort(PortNameTable& names) : names_(names), system_(names) {}

    bool Open(unsigned port, const char* settings) override {
        ISerialPort* local = FindLocal(names_.DevicePath(port));
        ISerialPort* next = local ? local : static_cast<ISerialPort*>(&system_);
        ISerialPort* was = active_.load();
        if (was && was != next) was->Close();
        active_ = next;
        next->SetNotifyTarget(target_);
        return next->Open(port, settings);
    }
    void Close() override {
        if (ISerialPort* p = active_.load()) p->Close();
    }
    bool IsOpen() const override {
        const ISerialPort* p = active_.load();
        return p && p->IsOpen();
    }
    unsigned Read(uint8_t* buffer, unsigned maxLength, unsigned timeoutMs) override {
        ISerialPort* p = active_.load();
        return p ? p->Read(buffer, maxLength, timeoutMs) : 0;
    }
    unsigned Write(const uint8_t* data, unsigned length) override {
        ISerialPort* p = active_.load();
        return p ? p->Write(data, length) : 0;
    }
    void SetNotifyTarget(MessageQueue* target) override {
        target_ = target;
        system_.SetNotifyTarget(target);
    }
    // Any thread may ask; the active port only changes on the owner's Open.
    uint64_t BytesQueued() const override {
        const ISerialPort* p = active_;
        return p ? p->BytesQueued() : 0;
    }
    uint64_t BytesLeftHost() const override {
        const ISerialPort* p = active_;
        return p ? p->BytesLeftHost() : 0;
    }
    const cnComm& System() const { return system_; }

  private:
    PortNameTable& names_;
    cnComm system_;
    MessageQueue* target_ = nullptr;
    std::atomic<ISerialPort*> active_{nullptr};
};

}  // namespace

LocalDeviceRegistration::LocalDeviceRegistration(std::string path, ISerialPort& port)
    : path_(std::move(path)) {
    std::lock_guard lock(RegistryMutex());
    Registry()[path_] = &port;
}

LocalDeviceRegistration::~LocalDeviceRegistration() {
    std::lock_guard lock(RegistryMutex());
    Registry().erase(path_);
}

std::unique_ptr<ISerialPort> MakeBoardPort(PortNameTable& names) {
    bool anyLocal;
    {
        std::lock_guard lock(RegistryMutex());
        anyLocal = !Registry().empty();
    }
    if (!anyLocal) return std::make_unique<cnComm>(names);
    return std::make_unique<RoutingPort>(names);
}

const cnComm* BoardSystemPort(const ISerialPort& port) {
    if (const auto* comm = dynamic_cast<const cnComm*>(&port)) return comm;
    if (const auto* routed = dynamic_cast<const RoutingPort*>(&port)) return &routed->System();
    return nullptr;
}

}  // namespace pelorin
