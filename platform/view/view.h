#pragma once

#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "platform/observation/observable_object.h"

// Declarative view descriptions: values that say what to show, built by components that
// must not know the toolkit. A toolkit host (gtk_toggle_host.h) turns them into widgets and
// keeps them current. Descriptions are built and hosted on the main thread.
namespace view {

// A key to look up in the application's translations.
struct LocalizedStringKey {
  std::string key;
};

// A text label: either shown verbatim or looked up for the user's language when drawn.
class Text {
 public:
  // Shown exactly as given, in every language.
  static Text verbatim(std::string content) { return Text(std::move(content), false); }
  // Looked up in the application's text domain; shown as the key when there is no translation.
  explicit Text(LocalizedStringKey key) : Text(std::move(key.key), true) {}

  const std::string& content() const { return content_; }
  bool isLocalized() const { return localized_; }

 private:
  Text(std::string content, bool localized) : content_(std::move(content)), localized_(localized) {}
  std::string content_;
  bool localized_;
};

// Read and write access to a value that lives elsewhere. `source`, when set, is the object
// whose will-change announcements mean that `get` may answer differently now.
template <typename Value>
struct Binding {
  std::function<Value()> get;
  std::function<void(Value)> set;
  std::shared_ptr<observation::ObservableObject> source;
};

// A view's reference to an observable object it watches: the host redraws the view when
// the object announces a change.
template <typename Object>
class ObservedObject {
 public:
  explicit ObservedObject(std::shared_ptr<Object> object) : object_(std::move(object)) {}

  Object& wrappedValue() const { return *object_; }

  // A binding to a property of the object, watched through the object's announcements.
  template <typename Value>
  Binding<Value> binding(Value (Object::*getter)() const, void (Object::*setter)(Value)) const {
    std::shared_ptr<Object> object = object_;
    return Binding<Value>{[object, getter] { return ((*object).*getter)(); },
                          [object, setter](Value value) { ((*object).*setter)(value); }, object};
  }

 private:
  std::shared_ptr<Object> object_;
};

// A two-state switch with a label; its state is the binding's.
template <typename Label>
struct Toggle {
  Binding<bool> isOn;
  Label label;
};

}  // namespace view
