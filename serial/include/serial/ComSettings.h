// The four settings objects a port owns. Each holds a non-owning link to its port; a
// changed field is pushed to the open device through the port's apply operation for the
// object's group. An object without a link only stores values.
#pragma once

#include "serial/ComTypes.h"

#include <cstdint>

class TCustomComPort;

class TComParity {
public:
    TParityBits Bits() const { return bits_; }
    bool Check() const { return check_; }
    bool Replace() const { return replace_; }
    char ReplaceChar() const { return replaceChar_; }
    void SetBits(TParityBits value);
    void SetCheck(bool value);
    void SetReplace(bool value);
    void SetReplaceChar(char value);

    void CopyFrom(const TComParity& source);
    TCustomComPort* ComPort() const { return comPort_; }
    void SetComPort(TCustomComPort* port) { comPort_ = port; }

private:
    void Changed();

    TCustomComPort* comPort_ = nullptr;
    TParityBits bits_ = prNone;
    bool check_ = false;
    bool replace_ = false;
    char replaceChar_ = 0;
};

class TComFlowControl {
public:
    bool OutCTSFlow() const { return outCTSFlow_; }
    bool OutDSRFlow() const { return outDSRFlow_; }
    TDTRFlowControl ControlDTR() const { return controlDTR_; }
    TRTSFlowControl ControlRTS() const { return controlRTS_; }
    bool XonXoffOut() const { return xonXoffOut_; }
    bool XonXoffIn() const { return xonXoffIn_; }
    bool DSRSensitivity() const { return dsrSensitivity_; }
    bool TxContinueOnXoff() const { return txContinueOnXoff_; }
    char XonChar() const { return xonChar_; }
    char XoffChar() const { return xoffChar_; }
    // The flow-control kind, derived from the RTS control, CTS output flow and XON/XOFF flags.
    TFlowControl FlowControl() const;

    void SetOutCTSFlow(bool value);
    void SetOutDSRFlow(bool value);
    void SetControlDTR(TDTRFlowControl value);
    void SetControlRTS(TRTSFlowControl value);
    void SetXonXoffOut(bool value);
    void SetXonXoffIn(bool value);
    void SetDSRSensitivity(bool value);
    void SetTxContinueOnXoff(bool value);
    void SetXonChar(char value);
    void SetXoffChar(char value);
    // Writes the fields that make up the kind; fcCustom keeps them. The line settings are
    // applied again in every case.
    void SetFlowControl(TFlowControl value);

    void CopyFrom(const TComFlowControl& source);
    TCustomComPort* ComPort() const { return comPort_; }
    void SetComPort(TCustomComPort* port) { comPort_ = port; }

private:
    void Changed();

    TCustomComPort* comPort_ = nullptr;
    bool outCTSFlow_ = false;
    bool outDSRFlow_ = false;
    TDTRFlowControl controlDTR_ = dtrDisable;
    TRTSFlowControl controlRTS_ = rtsDisable;
    bool xonXoffOut_ = false;
    bool xonXoffIn_ = false;
    bool dsrSensitivity_ = false;
    bool txContinueOnXoff_ = false;
    char xonChar_ = 17;
    char xoffChar_ = 19;
};

// Milliseconds; -1 reaches the device as the all-ones value.
class TComTimeouts {
public:
    std::int32_t ReadInterval() const { return readInterval_; }
    std::int32_t ReadTotalMultiplier() const { return readTotalMultiplier_; }
    std::int32_t ReadTotalConstant() const { return readTotalConstant_; }
    std::int32_t WriteTotalMultiplier() const { return writeTotalMultiplier_; }
    std::int32_t WriteTotalConstant() const { return writeTotalConstant_; }
    void SetReadInterval(std::int32_t value);
    void SetReadTotalMultiplier(std::int32_t value);
    void SetReadTotalConstant(std::int32_t value);
    void SetWriteTotalMultiplier(std::int32_t value);
    void SetWriteTotalConstant(std::int32_t value);

    void CopyFrom(const TComTimeouts& source);
    TCustomComPort* ComPort() const { return comPort_; }
    void SetComPort(TCustomComPort* port) { comPort_ = port; }

private:
    void Set(std::int32_t& field, std::int32_t value);

    TCustomComPort* comPort_ = nullptr;
    std::int32_t readInterval_ = -1;
    std::int32_t readTotalMultiplier_ = 0;
    std::int32_t readTotalConstant_ = 0;
    std::int32_t writeTotalMultiplier_ = 100;
    std::int32_t writeTotalConstant_ = 1000;
};

// Sizes of the driver's receive and transmit queues, in bytes.
class TComBuffer {
public:
    std::int32_t InputSize() const { return inputSize_; }
    std::int32_t OutputSize() const { return outputSize_; }
    // A positive odd size is lowered to the even size below it.
    void SetInputSize(std::int32_t value);
    void SetOutputSize(std::int32_t value);

    void CopyFrom(const TComBuffer& source);
    TCustomComPort* ComPort() const { return comPort_; }
    void SetComPort(TCustomComPort* port) { comPort_ = port; }

private:
    void Set(std::int32_t& field, std::int32_t value);

    TCustomComPort* comPort_ = nullptr;
    std::int32_t inputSize_ = 1024;
    std::int32_t outputSize_ = 1024;
};
