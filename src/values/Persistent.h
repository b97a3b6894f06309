#pragma once

// The common base of values and descriptions: an object that can take over the settings of
// another of a related class. Assign from an unrelated object leaves this one as it is.
class TPersistent
{
public:
    virtual ~TPersistent() = default;

    virtual void Assign(const TPersistent& source) { (void)source; }

protected:
    TPersistent() = default;
    TPersistent(const TPersistent&) = default;
    TPersistent& operator=(const TPersistent&) = default;
};
