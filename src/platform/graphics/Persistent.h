#pragma once
#include <QString>

namespace platform::graphics {

// The class library's copyable object: Assign copies another object's state into this one.
// A class that knows how to copy itself into a kind it cannot be assigned from overrides
// AssignTo; when neither side knows the other, "Cannot assign a %s to a %s" is raised.
class TPersistent {
public:
    virtual ~TPersistent() = default;
    virtual void Assign(TPersistent* source);
    virtual QString ClassName() const { return QStringLiteral("TPersistent"); }

protected:
    friend class TPersistentAccess;
    virtual void AssignTo(TPersistent* dest);
    // Raises EConvertError naming `source` (or "nil") and this class.
    [[noreturn]] void AssignError(TPersistent* source);

public:
    // Lets other classes reach a source's AssignTo (the library's own dispatch).
    static void CallAssignTo(TPersistent* source, TPersistent* dest) { source->AssignTo(dest); }
};

} // namespace platform::graphics
