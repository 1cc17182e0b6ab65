#pragma once
#include <cstddef>
#include <functional>

// Cores this process may keep busy: at least 1.
unsigned CoreCount();

// Calls Work(i) for every i of 0 .. Count - 1, spread over up to CoreCount()
// threads, the calling one among them; each thread takes the next index not
// yet taken, so pieces of uneven size balance out. Returns when every call
// has returned. Work must not throw. When no thread can be started, the
// calling thread does all of it.
void ForEachOnCores(std::size_t Count, const std::function<void(std::size_t)>& Work);
