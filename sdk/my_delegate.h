// A member function of a module held as two words: the code word and the
// object-address adjustment. The code word is a plain forwarding function
// taking the object address first, so it can stand in a host-visible record
// and be called by the host directly.
#pragma once

#include "ZOHostTypes.h"

class ZOModule_base;

namespace zo_detail {
template <typename T>
struct member_of;
template <typename C, typename R, typename... A>
struct member_of<R (C::*)(A...)> {
    typedef C type;
};
}  // namespace zo_detail

template <typename... Args>
class my_delegate {
public:
    typedef void (*code_type)(void* object, Args...);

    my_delegate() = default;
    explicit my_delegate(code_type code, zolong adjustment = 0)
        : m_code(code), m_adjustment(adjustment) {}

    // The delegate of member function F of a class derived from ZOModule_base.
    template <auto F>
    static my_delegate of() {
        return my_delegate(&forward<F>);
    }

    code_type RawPointer() const { return m_code; }

    bool operator==(const my_delegate& other) const {
        return m_code == other.m_code && (m_adjustment == other.m_adjustment || m_code == nullptr);
    }
    bool operator!=(const my_delegate& other) const { return !(*this == other); }

    void operator()(ZOModule_base* object, Args... args) const {
        if (m_code) m_code(reinterpret_cast<char*>(object) + m_adjustment, args...);
    }

    template <auto F>
    static void forward(void* object, Args... args) {
        typedef typename zo_detail::member_of<decltype(F)>::type C;
        (static_cast<C*>(static_cast<ZOModule_base*>(object))->*F)(args...);
    }

private:
    code_type m_code = nullptr;
    zolong m_adjustment = 0;
};

// The per-block routine and the delayed call.
typedef my_delegate<zolong, zolong> ZoSubProcess;
typedef my_delegate<> ZoDelayedCall;

static_assert(sizeof(ZoSubProcess) == 2 * sizeof(void*), "delegate is two words");
