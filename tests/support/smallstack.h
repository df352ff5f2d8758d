// Runs a piece of a test on a thread with a small stack: the host may call the component on
// worker threads, so depth limits and walks of nested data are checked to fit one.
#pragma once

#include <pthread.h>

#include <functional>

namespace zqtest {

// Runs work on a new thread with a stack of stackBytes and waits for it; false if the thread
// could not be made.
inline bool onSmallStack(size_t stackBytes, const std::function<void()>& work) {
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setstacksize(&attr, stackBytes);
  pthread_t thread;
  auto body = [](void* p) -> void* {
    (*static_cast<const std::function<void()>*>(p))();
    return nullptr;
  };
  const bool made =
      pthread_create(&thread, &attr, body, const_cast<std::function<void()>*>(&work)) == 0;
  pthread_attr_destroy(&attr);
  if (made) pthread_join(thread, nullptr);
  return made;
}

}  // namespace zqtest
