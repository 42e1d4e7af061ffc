#pragma once

// One COM port terminal's options as the settings file keeps them: indexes into the terminal
// view's lists, the Echo box, the two TX values, the Hex and Time boxes, what Enter sends and
// the Local Echo box.
struct TerminalSettings {
    int baudRateIndex = 0;
    int dataBitsIndex = 0;
    int parityIndex = 2;
    int stopBitsIndex = 0;
    int flowControlIndex = 0;
    int echoTest = 0;         // written as 0 or 1
    int testInterval = 1000;  // ms
    int testDataLength = 10;
    int hexView = 0;     // written as 0 or 1
    int timeStamp = 0;   // written as 0 or 1
    int lineEnding = 0;  // 0 CR, 1 LF, 2 CR LF
    int localEcho = 0;   // written as 0 or 1

    bool operator==(const TerminalSettings&) const = default;
};
