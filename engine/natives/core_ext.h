// Core class extensions: Hash attribute access (fixed-key accessors, readers
// and writers defined on first use, __get_hash_property__ and
// __set_hash_property__) and the class-method iteration helpers Array.map …,
// Enumerable.select, Hash.merge/merge!/select and String.split.
// Thread: the thread that owns the interpreter.
// Ownership: everything defined lives in the interpreter.
#pragma once

struct mrb_state;

// Defines the extensions on Hash, Array, Enumerable and String, keeping the
// interpreter's own method_missing as __original_method_missing__ and its
// split as __original_split__. Runs once per interpreter, after the
// framework image.
void core_ext_natives_register(struct mrb_state *mrb);
