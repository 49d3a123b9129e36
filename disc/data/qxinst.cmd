// Command file: command sections and the sections listing files, registry values and shortcuts.

[INST_END_CMD]
