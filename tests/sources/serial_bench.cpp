#include "serial_bench.h"

#include "base/general_log.h"
#include "config/log_settings.h"
#include "config/settings.h"
#include "ports/port_ticks.h"
#include "ports/pumped_wait.h"
#include "base/lrc.h"

SerialBench::SerialBench()
{
    SetEnableDebugMessages(true);
    SetEnableSerialPortMessages(true);
    SetDebugFileName(home.path() + "/TuqLog.txt");
    LoadLogSettings();
    SetComNumber(1);
    SetComPortDevice(1, cable.PathB());
    SetEnqHalfSecDelay(false);
    pharmacy.SetDevicePath(cable.PathA());
    QObject::connect(&pharmacy, &TApdWinsockPort::OnTriggerAvail, [this](int count) {
        heard_ += pharmacy.GetBlock(count);
        Advance();
    });
}

void SerialBench::Open(int profile)
{
    modem.UseProfile(PharmacyProfile(profile));
    modem.ConfigureSourcePort();
    modem.OpenSourcePort();
    pharmacy.SetOpen(true);
}

void SerialBench::Run(const std::vector<Step>& steps)
{
    script_ = steps;
    step_ = 0;
    failure_.clear();
    if (!script_.empty())
        pharmacy.PutString(script_.front().say);
    Advance();
    bool done = WaitFor([&] { return step_ >= script_.size(); }, 60);
    EXPECT_EQ(failure_, "");
    EXPECT_TRUE(done) << "step " << step_ + 1 << " waits for "
                      << PrintableText(script_[std::min(step_, script_.size() - 1)].hear)
                      << ", heard only " << PrintableText(heard_.substr(consumed_));
}

void SerialBench::Advance()
{
    while (step_ < script_.size()) {
        const Step& step = script_[step_];
        if (heard_.size() - consumed_ < step.hear.size())
            return;
        std::string got = heard_.substr(consumed_, step.hear.size());
        consumed_ += got.size();
        if (got != step.hear) {
            failure_ = "step " + std::to_string(step_ + 1) + " (" + PrintableText(step.say) +
                       "): expected " + PrintableText(step.hear) + ", heard " + PrintableText(got);
            step_ = script_.size();
            return;
        }
        if (step.after)
            step.after();
        if (++step_ < script_.size())
            pharmacy.PutString(script_[step_].say);
    }
}

bool SerialBench::Logged(const std::string& line) const
{
    return ReadWholeFile(home.path() + "/TuqLog.txt").find(">" + line + "\n") != std::string::npos;
}

std::string WithLrc(const std::string& textAndEtx)
{
    return textAndEtx + static_cast<char>(ComputeLrc(textAndEtx));
}
