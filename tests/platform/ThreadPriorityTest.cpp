// Thread priorities on Linux threads: lowering works without privilege; raising needs it, and a
// refusal is told once.
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <string>
#include <thread>
#include <vector>

#include "platform/FileProblems.h"
#include "platform/ThreadPriority.h"

using namespace platform;

namespace {

// The calling thread gives up the privilege to raise priorities (a thread's capabilities are its own).
void DropNicePrivilege() {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2] = {};
    ASSERT_EQ(syscall(SYS_capget, &header, data), 0);
    data[CAP_SYS_NICE / 32].effective &= ~(1u << (CAP_SYS_NICE % 32));
    data[CAP_SYS_NICE / 32].permitted &= ~(1u << (CAP_SYS_NICE % 32));
    ASSERT_EQ(syscall(SYS_capset, &header, data), 0);
}

TEST(ThreadPriority, LoweringAppliesWithoutPrivilegeAndARefusedRaiseIsToldOnce) {
    std::vector<std::string> told;
    SetProblemReporter([&](const std::string& text) { told.push_back(text); });
    ForgetThreadPriorityRefusal();
    const int base = getpriority(PRIO_PROCESS, static_cast<id_t>(getpid()));
    std::thread worker([&] {
        DropNicePrivilege();
        ThreadId self = CurrentThreadId();
        EXPECT_TRUE(ApplyThreadPriority(self, tpLower));
        EXPECT_EQ(getpriority(PRIO_PROCESS, static_cast<id_t>(self)), base + 5);
        EXPECT_TRUE(ApplyThreadPriority(self, tpLowest));
        EXPECT_EQ(getpriority(PRIO_PROCESS, static_cast<id_t>(self)), base + 10);
        EXPECT_TRUE(ApplyThreadPriority(self, tpIdle));
        EXPECT_EQ(sched_getscheduler(self), SCHED_IDLE);
        EXPECT_FALSE(ApplyThreadPriority(self, tpHighest));
        EXPECT_FALSE(ApplyThreadPriority(self, tpNormal));
        EXPECT_EQ(sched_getscheduler(self), SCHED_IDLE); // kept what it had
    });
    worker.join();
    EXPECT_EQ(told,
              std::vector<std::string>{"Thread priority tpHighest not applied: Operation not permitted"});
    EXPECT_FALSE(ApplyThreadPriority(0, tpLowest));
    SetProblemReporter(nullptr);
    ForgetThreadPriorityRefusal();
}

} // namespace
