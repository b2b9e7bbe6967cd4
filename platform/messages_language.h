#pragma once

// The language the environment asks messages in: 1 French, 0 English (anything else).
int messagesLanguage();
