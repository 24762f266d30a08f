// The precompiled-header hosts compile this and their header only.
