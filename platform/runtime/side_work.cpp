#include "side_work.h"

#include <system_error>
#include <utility>

SideWork::SideWork(std::function<void()> work, Alone alone)
    : work_(std::move(work))
{
    const auto run = [this] {
        try {
            work_();
        } catch (...) {
            fault_ = std::current_exception();
        }
    };
    try {
        thread_ = std::thread(run);
    } catch (const std::system_error&) {
        if (alone == Alone::DoneHere)
            run();
    }
}

SideWork::~SideWork()
{
    if (thread_.joinable())
        thread_.join();
}

void SideWork::wait()
{
    if (thread_.joinable()) {
        thread_.join();
        joined_ = true;
    }
    if (fault_)
        std::rethrow_exception(std::exchange(fault_, nullptr));
}

void OnBothCores(const std::function<void(int share)>& share)
{
    SideWork other([&share] { share(1); });
    std::exception_ptr fault;
    try {
        share(0);
    } catch (...) {
        fault = std::current_exception();
    }
    other.wait();
    if (fault)
        std::rethrow_exception(fault);
}
