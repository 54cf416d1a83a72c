// Storing the port's settings to, and loading them from, a registry key or a profile file.
#include "serial/CPort.h"

#include "ComText.h"

#include "platform/ProfileFile.h"
#include "platform/Registry.h"

#include <charconv>

namespace {

// Groups in the order they are written and read.
constexpr TStoredGroup groupOrder[] = {sgBasic,  sgOthers,   sgParity,
                                       sgBuffer, sgTimeouts, sgFlowControl};

// One place that knows every stored setting: how to read its stored form, how to apply a
// stored form, and whether it is text or number. The two stores differ only in how a value
// reaches them, so both walk the same table.
class SettingsWalker {
public:
    virtual ~SettingsWalker() = default;
    virtual void Text(const char* name, const std::string& current,
                      const std::function<void(const std::string&)>& apply) = 0;
    virtual void Number(const char* name, std::int32_t current, std::int32_t def,
                        const std::function<void(std::int32_t)>& apply) = 0;
};

void WalkGroup(TCustomComPort& port, TStoredGroup group, SettingsWalker& w) {
    TComFlowControl& flow = port.FlowControl();
    TComParity& parity = port.Parity();
    TComBuffer& buffer = port.Buffer();
    TComTimeouts& timeouts = port.Timeouts();
    auto boolean = [&](const char* name, bool current, auto setter) {
        w.Text(name, BoolToText(current), [=](const std::string& t) { setter(BoolFromText(t)); });
    };
    auto character = [&](const char* name, char current, auto setter) {
        w.Text(name, CharToText(current), [=](const std::string& t) { setter(CharFromText(t)); });
    };
    switch (group) {
    case sgBasic:
        w.Text("Port", port.Port(), [&](const std::string& t) { port.SetPort(t); });
        w.Text("BaudRate", BaudRateToText(port.BaudRate()),
               [&](const std::string& t) { port.SetBaudRate(BaudRateFromText(t)); });
        if (port.BaudRate() == brCustom)
            w.Number("CustomBaudRate", port.CustomBaudRate(), 9600,
                     [&](std::int32_t v) { port.SetCustomBaudRate(v); });
        w.Text("StopBits", StopBitsToText(port.StopBits()),
               [&](const std::string& t) { port.SetStopBits(StopBitsFromText(t)); });
        w.Text("DataBits", DataBitsToText(port.DataBits()),
               [&](const std::string& t) { port.SetDataBits(DataBitsFromText(t)); });
        w.Text("Parity", ParityToText(parity.Bits()),
               [&](const std::string& t) { parity.SetBits(ParityFromText(t)); });
        w.Text("FlowControl", FlowControlToText(flow.FlowControl()),
               [&](const std::string& t) { flow.SetFlowControl(FlowControlFromText(t)); });
        break;
    case sgFlowControl:
        w.Text("FlowControl.ControlRTS", RTSControlToText(flow.ControlRTS()),
               [&](const std::string& t) { flow.SetControlRTS(RTSControlFromText(t)); });
        w.Text("FlowControl.ControlDTR", DTRControlToText(flow.ControlDTR()),
               [&](const std::string& t) { flow.SetControlDTR(DTRControlFromText(t)); });
        boolean("FlowControl.DSRSensitivity", flow.DSRSensitivity(),
                [&flow](bool v) { flow.SetDSRSensitivity(v); });
        boolean("FlowControl.OutCTSFlow", flow.OutCTSFlow(),
                [&flow](bool v) { flow.SetOutCTSFlow(v); });
        boolean("FlowControl.OutDSRFlow", flow.OutDSRFlow(),
                [&flow](bool v) { flow.SetOutDSRFlow(v); });
        boolean("FlowControl.TxContinueOnXoff", flow.TxContinueOnXoff(),
                [&flow](bool v) { flow.SetTxContinueOnXoff(v); });
        boolean("FlowControl.XonXoffIn", flow.XonXoffIn(),
                [&flow](bool v) { flow.SetXonXoffIn(v); });
        boolean("FlowControl.XonXoffOut", flow.XonXoffOut(),
                [&flow](bool v) { flow.SetXonXoffOut(v); });
        character("FlowControl.XoffChar", flow.XoffChar(),
                  [&flow](char v) { flow.SetXoffChar(v); });
        character("FlowControl.XonChar", flow.XonChar(), [&flow](char v) { flow.SetXonChar(v); });
        break;
    case sgBuffer:
        w.Number("Buffer.OutputSize", buffer.OutputSize(), buffer.OutputSize(),
                 [&](std::int32_t v) { buffer.SetOutputSize(v); });
        w.Number("Buffer.InputSize", buffer.InputSize(), buffer.InputSize(),
                 [&](std::int32_t v) { buffer.SetInputSize(v); });
        break;
    case sgTimeouts:
        w.Number("Timeouts.ReadInterval", timeouts.ReadInterval(), timeouts.ReadInterval(),
                 [&](std::int32_t v) { timeouts.SetReadInterval(v); });
        w.Number("Timeouts.ReadTotalConstant", timeouts.ReadTotalConstant(),
                 timeouts.ReadTotalConstant(),
                 [&](std::int32_t v) { timeouts.SetReadTotalConstant(v); });
        w.Number("Timeouts.ReadTotalMultiplier", timeouts.ReadTotalMultiplier(),
                 timeouts.ReadTotalMultiplier(),
                 [&](std::int32_t v) { timeouts.SetReadTotalMultiplier(v); });
        w.Number("Timeouts.WriteTotalConstant", timeouts.WriteTotalConstant(),
                 timeouts.WriteTotalConstant(),
                 [&](std::int32_t v) { timeouts.SetWriteTotalConstant(v); });
        w.Number("Timeouts.WriteTotalMultiplier", timeouts.WriteTotalMultiplier(),
                 timeouts.WriteTotalMultiplier(),
                 [&](std::int32_t v) { timeouts.SetWriteTotalMultiplier(v); });
        break;
    case sgParity:
        boolean("Parity.Check", parity.Check(), [&parity](bool v) { parity.SetCheck(v); });
        boolean("Parity.Replace", parity.Replace(), [&parity](bool v) { parity.SetReplace(v); });
        character("Parity.ReplaceChar", parity.ReplaceChar(),
                  [&parity](char v) { parity.SetReplaceChar(v); });
        break;
    case sgOthers:
        character("EventChar", port.EventChar(), [&port](char v) { port.SetEventChar(v); });
        boolean("DiscardNull", port.DiscardNull(), [&port](bool v) { port.SetDiscardNull(v); });
        break;
    }
}

void Walk(TCustomComPort& port, SettingsWalker& walker) {
    for (TStoredGroup group : groupOrder)
        if (port.StoredGroups().Contains(group))
            WalkGroup(port, group, walker);
}

class RegistryStore : public SettingsWalker {
public:
    explicit RegistryStore(platform::Registry& r) : registry_(r) {}
    void Text(const char* name, const std::string& current,
              const std::function<void(const std::string&)>&) override {
        registry_.WriteString(name, current);
    }
    void Number(const char* name, std::int32_t current, std::int32_t,
                const std::function<void(std::int32_t)>&) override {
        registry_.WriteInteger(name, current);
    }

private:
    platform::Registry& registry_;
};

class RegistryLoad : public SettingsWalker {
public:
    explicit RegistryLoad(platform::Registry& r) : registry_(r) {}
    void Text(const char* name, const std::string&,
              const std::function<void(const std::string&)>& apply) override {
        apply(registry_.ReadString(name));
    }
    void Number(const char* name, std::int32_t, std::int32_t,
                const std::function<void(std::int32_t)>& apply) override {
        apply(registry_.ReadInteger(name));
    }

private:
    platform::Registry& registry_;
};

class ProfileStore : public SettingsWalker {
public:
    ProfileStore(platform::ProfileFile& p, std::string section)
        : profile_(p), section_(std::move(section)) {}
    void Text(const char* name, const std::string& current,
              const std::function<void(const std::string&)>&) override {
        profile_.WriteString(section_, name, current);
    }
    void Number(const char* name, std::int32_t current, std::int32_t,
                const std::function<void(std::int32_t)>&) override {
        profile_.WriteString(section_, name, std::to_string(current));
    }

private:
    platform::ProfileFile& profile_;
    std::string section_;
};

class ProfileLoad : public SettingsWalker {
public:
    ProfileLoad(platform::ProfileFile& p, std::string section)
        : profile_(p), section_(std::move(section)) {}
    void Text(const char* name, const std::string& current,
              const std::function<void(const std::string&)>& apply) override {
        apply(profile_.ReadString(section_, name, current));
    }
    void Number(const char* name, std::int32_t, std::int32_t def,
                const std::function<void(std::int32_t)>& apply) override {
        const std::string text = profile_.ReadString(section_, name, std::to_string(def));
        // A value that is not a whole number of 32 bits keeps the default, as a missing key
        // does.
        std::int32_t value = 0;
        const char* end = text.data() + text.size();
        const auto [at, error] = std::from_chars(text.data(), end, value);
        apply(error == std::errc() && at == end && !text.empty() ? value : def);
    }

private:
    platform::ProfileFile& profile_;
    std::string section_;
};

} // namespace

void TCustomComPort::StoreToRegistry(platform::Registry& registry) {
    RegistryStore walker(registry);
    Walk(*this, walker);
}

void TCustomComPort::StoreToProfile(platform::ProfileFile& profile) {
    ProfileStore walker(profile, Name());
    Walk(*this, walker);
}

void TCustomComPort::LoadFromRegistry(platform::Registry& registry) {
    RegistryLoad walker(registry);
    Walk(*this, walker);
}

void TCustomComPort::LoadFromProfile(platform::ProfileFile& profile) {
    ProfileLoad walker(profile, Name());
    Walk(*this, walker);
}
