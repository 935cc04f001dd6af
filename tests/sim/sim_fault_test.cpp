// The faults kv4t-sim can be told to show, one case each, and changed while it runs.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>

#include "tests/sim/sim_fixture.h"

namespace kv4t::sim {
namespace {

struct FaultCase {
  const char* what;
  std::function<void(Options&)> set;
  std::function<void(SimTest&, SimLine&, Simulator&)> check;
};

void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.what; }

class SimFaultTest : public SimTest, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(SimFaultTest, ShowsTheFault) {
  Options o;
  GetParam().set(o);
  start(o);
  GetParam().check(*this, *line_, *sim_);
}

const sim_bytes kDevRead = as_bytes("#HGHGTMOHPGMO\r");
const std::string kDevAnswer = "#HGGKTMOHLKJKLJKRLPJK\r";

const FaultCase kFaultCases[] = {
    {"Silent", [](Options& o) { o.faults.silent = true; },
     [](SimTest&, SimLine& l, Simulator& s) {
       l.write_bytes(kDevRead);
       EXPECT_TRUE(l.read_for(200).empty());
       EXPECT_EQ(s.request_count(kParamDev), 1);
     }},
    {"NoAnswerToNamedParameters", [](Options& o) { o.faults.no_answer = {std::string(kParamDev)}; },
     [](SimTest&, SimLine& l, Simulator&) {
       l.write_bytes(kDevRead);
       EXPECT_TRUE(l.read_for(200).empty());
       l.write_bytes(ravik_request(kParamVer, true));
       EXPECT_FALSE(l.read_ravik().empty());
     }},
    {"NoiseBeforeFrames", [](Options& o) { o.faults.noise_bytes = 3; },
     [](SimTest&, SimLine& l, Simulator&) {
       l.write_bytes(kDevRead);
       EXPECT_EQ(as_text(l.read_ravik()), std::string("\x00\xFF\x7E", 3) + kDevAnswer);
     }},
    {"TruncatedAnswers", [](Options& o) { o.faults.truncate_bytes = 5; },
     [](SimTest&, SimLine& l, Simulator&) {
       l.write_bytes(kDevRead);
       EXPECT_EQ(as_text(l.read_for(200)), kDevAnswer.substr(0, kDevAnswer.size() - 5));
     }},
    {"WrongCheck", [](Options& o) { o.faults.bad_check = true; },
     [](SimTest&, SimLine& l, Simulator&) {
       l.write_bytes(kDevRead);
       const sim_bytes a = l.read_ravik();
       ASSERT_EQ(a.size(), kDevAnswer.size());
       EXPECT_NE(as_text(a), kDevAnswer);
       EXPECT_TRUE(ravik_payload(a).empty());
     }},
    {"RequestFlagInAnswers", [](Options& o) { o.faults.request_flag = true; },
     [](SimTest&, SimLine& l, Simulator&) {
       l.write_bytes(kDevRead);
       const sim_bytes p = ravik_payload(l.read_ravik());
       ASSERT_EQ(p.size(), 8u);
       EXPECT_EQ(p[1], 0x14);
     }},
    {"AnotherDeviceName", [](Options& o) { o.device = "KS4"; },
     [](SimTest&, SimLine& l, Simulator&) {
       l.write_bytes(kDevRead);
       EXPECT_EQ(as_text(data_field(ravik_payload(l.read_ravik()))), "4SK");
     }},
    {"UnansweredRequestsBeforeAnswering", [](Options& o) { o.faults.skip_requests = 3; },
     [](SimTest&, SimLine& l, Simulator&) {
       for (int i = 0; i < 3; ++i) {
         l.write_bytes(kDevRead);
         EXPECT_TRUE(l.read_for(120).empty()) << i;
       }
       l.write_bytes(kDevRead);
       EXPECT_EQ(as_text(l.read_ravik()), kDevAnswer);
     }},
    {"ExtraDelay", [](Options& o) { o.faults.extra_delay_ms = 250; },
     [](SimTest&, SimLine& l, Simulator&) {
       const auto t0 = std::chrono::steady_clock::now();
       l.write_bytes(kDevRead);
       EXPECT_EQ(as_text(l.read_ravik()), kDevAnswer);
       EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(250));
     }},
    {"FaultsOnlyOnNamedRequests",
     [](Options& o) {
       o.faults.bad_check = true;
       o.faults.only = {std::string(kParamVer)};
     },
     [](SimTest&, SimLine& l, Simulator&) {
       l.write_bytes(kDevRead);
       EXPECT_EQ(as_text(l.read_ravik()), kDevAnswer);
       l.write_bytes(ravik_request(kParamVer, true));
       EXPECT_TRUE(ravik_payload(l.read_ravik()).empty());
     }},
    {"WrongCheckInModbusRtu",
     [](Options& o) {
       o.protocol = Protocol::modbus_rtu;
       o.faults.bad_check = true;
     },
     [](SimTest&, SimLine& l, Simulator&) {
       l.write_bytes(rtu({16, 5, 0xF0, 0xF0, 0xFF, 0x00}));
       const sim_bytes a = l.read_count(8);
       ASSERT_EQ(a.size(), 8u);
       EXPECT_NE(a, rtu({16, 5, 0xF0, 0xF0, 0xFF, 0x00}));
     }},
};

INSTANTIATE_TEST_SUITE_P(Faults, SimFaultTest, ::testing::ValuesIn(kFaultCases),
                         [](const auto& info) { return std::string(info.param.what); });

TEST_F(SimTest, FaultsCanChangeWhileRunning) {
  start();
  EXPECT_FALSE(ask(kDevRead).empty());
  Faults f;
  f.silent = true;
  sim_->set_faults(f);
  EXPECT_TRUE(ask(kDevRead, 150).empty());
  sim_->set_faults({});
  EXPECT_FALSE(ask(kDevRead).empty());
}

// Random losses: about the share asked for, counted by the converter, and the same
// requests lost again from the same seed.
TEST_F(SimTest, LossesAreRandomButRepeatable) {
  start();
  auto lost_pattern = [this](unsigned seed) {
    Faults f;
    f.loss_percent = 20;
    f.loss_seed = seed;
    sim_->set_faults(f);
    std::string pattern;
    for (int i = 0; i < 40; ++i) pattern += ask(kDevRead, 120).empty() ? 'x' : '.';
    return pattern;
  };
  const long before = sim_->state().lost_answers;
  const std::string first = lost_pattern(7);
  const long lost = static_cast<long>(std::count(first.begin(), first.end(), 'x'));
  EXPECT_EQ(sim_->state().lost_answers - before, lost);
  EXPECT_GT(lost, 0);
  EXPECT_LT(lost, 20);
  EXPECT_EQ(lost_pattern(7), first);
}

}  // namespace
}  // namespace kv4t::sim
