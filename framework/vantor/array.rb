# Array additions; the list of array methods that keep nil punning harmless.
ARRAY_WHITELIST = [:map, :flat_map, :map_with_index]
