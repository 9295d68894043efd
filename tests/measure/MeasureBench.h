#pragma once
// A bench folder for one Measure References run: the settings and bench files the tool
// and the simulated board read, and optionally the meter emulator on its COM1. The folder
// is the current one while the bench lives.

#include "BenchFolder.h"

#include <string>
#include <vector>

class MeasureBench {
public:
    const std::string& Dir() const { return m_dir; }

    // "Vantrel.ini" with the given board type and voltmeter (0 Fluke 45, 1 HP, 2 None).
    void WriteSettings(int boardType, int voltmeter) const;
    // "bench.ini": the board's true references and extra "key = value" lines; the board
    // takes the model Initialize Board asks for. Settling waits run at one hundredth of
    // real time unless timeScale says otherwise.
    void WriteBench(const std::vector<double>& references, const std::vector<std::string>& extraLines = {},
                    double timeScale = 0.01) const;

    // Starts vantrel-metersim on <dir>/COM1 with these extra arguments; true once ready.
    bool StartMeter(const std::vector<std::string>& arguments);
    // What the meter received, as text.
    std::string MeterReceived() const;

private:
    vantrel::dialogdriver::BenchFolder m_folder;
    std::string m_dir = m_folder.path().string();
};
