// Root classes of the support library. They carry nothing but the virtual
// destructor, the type name and the (unused) serialisation hooks, so that the
// table of virtual operations of every derived class starts the same way.
#pragma once

namespace lti {

class ioHandler;  // stream handler of the serialisation hooks; never defined here

class object {
 public:
  virtual ~object() = default;
  virtual const char* getTypeName() const { return "object"; }
};

class ioObject : public object {
 public:
  const char* getTypeName() const override { return "ioObject"; }
  // Serialisation is not part of this library: there is no stream format, so
  // both hooks report failure and touch nothing.
  virtual bool write(ioHandler& handler, bool complete = true) const;
  virtual bool read(ioHandler& handler, bool complete = true);
};

class mathObject : public ioObject {
 public:
  const char* getTypeName() const override { return "mathObject"; }
};

inline bool ioObject::write(ioHandler&, bool) const { return false; }
inline bool ioObject::read(ioHandler&, bool) { return false; }

}  // namespace lti
