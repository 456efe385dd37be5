#include "component_calls.h"

#include "event_frame.h"

namespace snapscribe {

UINT componentCount(IVssWriterComponents* components, long line) {
    UINT count = 0;
    checkPlatformCall(components->GetComponentCount(&count), line);
    return count;
}

ComponentReference componentAt(IVssWriterComponents* components, UINT index, long line) {
    IVssComponent* component = nullptr;
    checkPlatformCall(components->GetComponent(index, &component), line);
    return ComponentReference(component);
}

std::wstring componentName(IVssComponent* component, long line) {
    PlatformText name;
    checkPlatformCall(component->GetComponentName(name.receive()), line);
    return name.text();
}

}  // namespace snapscribe
