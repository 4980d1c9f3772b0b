// placeholder until the scripted prompts are written
