#include "serial/ComSettings.h"

#include "ComStore.h"
#include "serial/CPort.h"

using com_detail::Store;

void TComParity::Changed() {
    if (comPort_ != nullptr)
        comPort_->ApplyLineSettings();
}

void TComParity::SetBits(TParityBits value) {
    if (Store(bits_, value))
        Changed();
}
void TComParity::SetCheck(bool value) {
    if (Store(check_, value))
        Changed();
}
void TComParity::SetReplace(bool value) {
    if (Store(replace_, value))
        Changed();
}
void TComParity::SetReplaceChar(char value) {
    if (Store(replaceChar_, value))
        Changed();
}

void TComParity::CopyFrom(const TComParity& source) {
    bits_ = source.bits_;
    check_ = source.check_;
    replace_ = source.replace_;
    replaceChar_ = source.replaceChar_;
}

void TComFlowControl::Changed() {
    if (comPort_ != nullptr)
        comPort_->ApplyLineSettings();
}

TFlowControl TComFlowControl::FlowControl() const {
    const bool noXonXoff = !xonXoffIn_ && !xonXoffOut_;
    if (controlRTS_ == rtsHandshake && outCTSFlow_ && noXonXoff)
        return fcHardware;
    if (controlRTS_ == rtsDisable && !outCTSFlow_ && xonXoffIn_ && xonXoffOut_)
        return fcSoftware;
    if (controlRTS_ == rtsDisable && !outCTSFlow_ && noXonXoff)
        return fcNone;
    return fcCustom;
}

void TComFlowControl::SetFlowControl(TFlowControl value) {
    if (value != fcCustom) {
        controlRTS_ = rtsDisable;
        outCTSFlow_ = false;
        xonXoffIn_ = false;
        xonXoffOut_ = false;
        if (value == fcHardware) {
            controlRTS_ = rtsHandshake;
            outCTSFlow_ = true;
        } else if (value == fcSoftware) {
            xonXoffIn_ = true;
            xonXoffOut_ = true;
        }
    }
    Changed();
}

void TComFlowControl::SetOutCTSFlow(bool value) {
    if (Store(outCTSFlow_, value))
        Changed();
}
void TComFlowControl::SetOutDSRFlow(bool value) {
    if (Store(outDSRFlow_, value))
        Changed();
}
void TComFlowControl::SetControlDTR(TDTRFlowControl value) {
    if (Store(controlDTR_, value))
        Changed();
}
void TComFlowControl::SetControlRTS(TRTSFlowControl value) {
    if (Store(controlRTS_, value))
        Changed();
}
void TComFlowControl::SetXonXoffOut(bool value) {
    if (Store(xonXoffOut_, value))
        Changed();
}
void TComFlowControl::SetXonXoffIn(bool value) {
    if (Store(xonXoffIn_, value))
        Changed();
}
void TComFlowControl::SetDSRSensitivity(bool value) {
    if (Store(dsrSensitivity_, value))
        Changed();
}
void TComFlowControl::SetTxContinueOnXoff(bool value) {
    if (Store(txContinueOnXoff_, value))
        Changed();
}
void TComFlowControl::SetXonChar(char value) {
    if (Store(xonChar_, value))
        Changed();
}
void TComFlowControl::SetXoffChar(char value) {
    if (Store(xoffChar_, value))
        Changed();
}

void TComFlowControl::CopyFrom(const TComFlowControl& source) {
    outCTSFlow_ = source.outCTSFlow_;
    outDSRFlow_ = source.outDSRFlow_;
    controlDTR_ = source.controlDTR_;
    controlRTS_ = source.controlRTS_;
    xonXoffOut_ = source.xonXoffOut_;
    xonXoffIn_ = source.xonXoffIn_;
    dsrSensitivity_ = source.dsrSensitivity_;
    txContinueOnXoff_ = source.txContinueOnXoff_;
    xonChar_ = source.xonChar_;
    xoffChar_ = source.xoffChar_;
}

void TComTimeouts::Set(std::int32_t& field, std::int32_t value) {
    if (Store(field, value) && comPort_ != nullptr)
        comPort_->ApplyTimeoutSettings();
}
void TComTimeouts::SetReadInterval(std::int32_t value) {
    Set(readInterval_, value);
}
void TComTimeouts::SetReadTotalMultiplier(std::int32_t value) {
    Set(readTotalMultiplier_, value);
}
void TComTimeouts::SetReadTotalConstant(std::int32_t value) {
    Set(readTotalConstant_, value);
}
void TComTimeouts::SetWriteTotalMultiplier(std::int32_t value) {
    Set(writeTotalMultiplier_, value);
}
void TComTimeouts::SetWriteTotalConstant(std::int32_t value) {
    Set(writeTotalConstant_, value);
}

void TComTimeouts::CopyFrom(const TComTimeouts& source) {
    readInterval_ = source.readInterval_;
    readTotalMultiplier_ = source.readTotalMultiplier_;
    readTotalConstant_ = source.readTotalConstant_;
    writeTotalMultiplier_ = source.writeTotalMultiplier_;
    writeTotalConstant_ = source.writeTotalConstant_;
}

void TComBuffer::Set(std::int32_t& field, std::int32_t value) {
    if (field == value)
        return;
    // Drivers take even queue sizes only.
    field = (value > 0 && value % 2 == 1) ? value - 1 : value;
    if (comPort_ != nullptr)
        comPort_->ApplyBufferSettings();
}
void TComBuffer::SetInputSize(std::int32_t value) {
    Set(inputSize_, value);
}
void TComBuffer::SetOutputSize(std::int32_t value) {
    Set(outputSize_, value);
}

void TComBuffer::CopyFrom(const TComBuffer& source) {
    inputSize_ = source.inputSize_;
    outputSize_ = source.outputSize_;
}
