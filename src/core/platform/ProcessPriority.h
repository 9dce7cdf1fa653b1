#pragma once

namespace cantorel {

// The process priority classes as nice values, applied to every thread of the process
// (Linux keeps a nice value per thread). A refusal for want of privilege is ignored: an
// unprivileged user cannot lower a nice value again.
class ProcessPriority {
public:
    enum Class { Idle = 19, Normal = 0, High = -10, RealTime = -20 };

    // The class of a priority selector entry: 0 idle, 1 normal, 2 high, 3 real-time,
    // anything else normal.
    static Class classOfEntry(int index);
    static void setClass(Class priorityClass);
    static int current();
};

} // namespace cantorel
