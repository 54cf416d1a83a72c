// Enumerations and small sets shared by the serial port component and its users.
#pragma once

#include <cstdint>
#include <initializer_list>

enum TBaudRate {
    brCustom,
    br110,
    br300,
    br600,
    br1200,
    br2400,
    br4800,
    br9600,
    br14400,
    br19200,
    br38400,
    br56000,
    br57600,
    br115200,
    br128000,
    br256000
};
enum TStopBits { sbOneStopBit, sbOne5StopBits, sbTwoStopBits };
enum TDataBits { dbFive, dbSix, dbSeven, dbEight };
enum TParityBits { prNone, prOdd, prEven, prMark, prSpace };
enum TDTRFlowControl { dtrDisable, dtrEnable, dtrHandshake };
enum TRTSFlowControl { rtsDisable, rtsEnable, rtsHandshake, rtsToggle };
enum TFlowControl { fcHardware, fcSoftware, fcNone, fcCustom };
enum TComEvent {
    evRxChar,
    evTxEmpty,
    evRxFlag,
    evRing,
    evBreak,
    evCTS,
    evDSR,
    evError,
    evRLSD,
    evRx80Full
};
enum TComError { ceFrame, ceRxParity, ceOverrun, ceBreak, ceIO, ceMode, ceRxOver, ceTxFull };
enum TSyncMethod { smThreadSync, smWindowSync, smNone };
enum TModemSignal { msCTS, msDSR, msRing, msRLSD };
enum TStoredGroup { sgBasic, sgFlowControl, sgBuffer, sgTimeouts, sgParity, sgOthers };
enum TRequestDirection { rdWrite, rdRead };
enum class TThreadPriority { Idle, Lowest, Lower, Normal, Higher, Highest, TimeCritical };

// A set of enumeration values held as bits, bit n for ordinal n.
template <typename E, typename Bits> class EnumSet {
public:
    constexpr EnumSet() = default;
    constexpr EnumSet(std::initializer_list<E> values) {
        for (E v : values)
            bits_ |= Bit(v);
    }
    static constexpr EnumSet FromBits(Bits bits) {
        EnumSet s;
        s.bits_ = bits;
        return s;
    }
    constexpr Bits ToBits() const { return bits_; }
    constexpr bool Contains(E v) const { return (bits_ & Bit(v)) != 0; }
    constexpr bool Empty() const { return bits_ == 0; }
    constexpr void Include(E v) { bits_ |= Bit(v); }
    constexpr void Exclude(E v) { bits_ &= static_cast<Bits>(~Bit(v)); }
    constexpr bool operator==(const EnumSet&) const = default;

private:
    static constexpr Bits Bit(E v) { return static_cast<Bits>(Bits{1} << static_cast<int>(v)); }
    Bits bits_ = 0;
};

using TComEvents = EnumSet<TComEvent, std::uint16_t>;
using TComErrors = EnumSet<TComError, std::uint8_t>;
using TModemSignals = EnumSet<TModemSignal, std::uint8_t>;
using TStoredGroups = EnumSet<TStoredGroup, std::uint8_t>;

inline constexpr TComEvents AllComEvents = TComEvents::FromBits(0x3FF);
