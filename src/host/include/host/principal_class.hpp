// Classes an extension's service creates by the name the extension declares.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

namespace zaro {

/// The base of every object a service creates by class name.
class PrincipalObject {
public:
    PrincipalObject() = default;
    PrincipalObject(const PrincipalObject&) = delete;
    PrincipalObject& operator=(const PrincipalObject&) = delete;
    virtual ~PrincipalObject() = default;
};

/// The classes of one program, each under the plain name the service creates it by.
class ClassRegistry {
public:
    /// Registers `T` under `name`; a later registration of the same name is never found.
    template <typename T>
    void registerClass(std::string name)
    {
        static_assert(std::is_base_of_v<PrincipalObject, T> && std::is_default_constructible_v<T>);
        classes_.emplace_back(std::move(name), [] { return std::unique_ptr<PrincipalObject>(new T()); });
    }

    /// A new object of the class registered under `name`, or null when there is none.
    std::unique_ptr<PrincipalObject> create(std::string_view name) const;

private:
    using Factory = std::unique_ptr<PrincipalObject> (*)();
    std::vector<std::pair<std::string, Factory>> classes_;
};

}  // namespace zaro
