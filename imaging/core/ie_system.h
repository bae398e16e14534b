// Queries about the machine and the session: memory, processor cores, MMX,
// remote sessions.
#pragma once

#include <cstdint>

#pragma GCC visibility push(default)
namespace redozir {

// Bytes of available (True) or total (False) physical memory; 0 when unknown.
std::int64_t IEGetPhysicalMemory(bool Available);
// Physical processor cores this process may run on, read once from the
// processor topology and the process's affinity; 1 when it cannot tell.
int IEGetCPUCoreCount();
bool IEMMXSupported();
// True when the program's display or session comes over the network (an SSH
// session, or an X display on another host).
bool IEIsRemoteSession();

}  // namespace redozir
#pragma GCC visibility pop
