#!/usr/bin/env python3
"""Builds the interview-domain language model that Orvane's recogniser mixes with the general one.

Writes two files:
  domain.arpa  a trigram model (absolute discounting with back-off) of interview language
  words.dict   pronunciations for technical words the pronouncing dictionary lacks

The sentences come from the offline answer set's questions, the sentences of its answers (the
words an interview about these subjects uses: "user", "data", "endpoint", "review"), and
templates written for this project; the test and benchmark sentences are never used here.
"""
import collections
import json
import math
import re
import sys

DISCOUNT = 0.7

TOPICS = [
    "sql", "nosql", "postgresql", "mysql", "sqlite", "mongodb", "redis", "dynamodb", "cassandra",
    "javascript", "typescript", "python", "rust", "go", "swift", "kotlin", "java", "react",
    "angular", "vue", "express", "django", "rails", "docker", "kubernetes", "terraform", "aws",
    "azure", "lambda", "an api", "a rest api", "graphql", "grpc", "websockets", "oauth", "jwt",
    "cors", "devops", "microservices", "async and await", "middleware", "an orm", "crud",
    "a hashmap", "a linked list", "a binary tree", "recursion", "big o notation", "an algorithm",
    "system design", "git", "github", "npm", "webpack", "vite", "eslint", "a database index",
    "a transaction", "caching", "a load balancer", "a message queue", "sharding", "replication",
    "a deadlock", "a race condition", "a closure", "a promise", "the event loop", "garbage collection",
    "dependency injection", "polymorphism", "inheritance", "an interface", "unit testing",
    "continuous integration", "a container", "a virtual machine", "https", "tls", "dns", "tcp",
    "udp", "http", "a thread", "a process", "a mutex", "a semaphore", "a queue", "a stack",
    "a heap", "a trie", "a graph", "dynamic programming", "binary search", "merge sort",
    "quicksort", "the cap theorem", "eventual consistency", "rate limiting", "a cdn",
    "a reverse proxy", "nginx", "node js", "fastapi", "spring boot", "next js",
]
PAIRS = [
    ("sql", "nosql"), ("a process", "a thread"), ("rest", "graphql"), ("tcp", "udp"),
    ("a stack", "a queue"), ("an array", "a linked list"), ("docker", "a virtual machine"),
    ("python", "javascript"), ("typescript", "javascript"), ("postgresql", "mysql"),
    ("redis", "memcached"), ("authentication", "authorization"), ("let", "const"),
    ("a monolith", "microservices"), ("http", "https"), ("unit tests", "integration tests"),
]
TEMPLATES = [
    "what is {t}", "what is {t} and why would you use it", "can you explain {t}",
    "how does {t} work", "when would you use {t}", "tell me about {t}",
    "what are the trade offs of {t}", "how would you explain {t} to a junior developer",
    "have you used {t} in production", "what problems have you solved with {t}",
]
PAIR_TEMPLATES = [
    "what is the difference between {a} and {b}", "compare {a} and {b}",
    "when would you choose {a} over {b}",
]
BEHAVIOURAL = [
    "tell me about yourself", "walk me through your resume", "why do you want to work here",
    "what is your greatest strength", "what is your greatest weakness",
    "tell me about a time you had a conflict with a coworker",
    "tell me about a time you failed", "describe a project you are proud of",
    "how do you handle tight deadlines", "where do you see yourself in five years",
    "why are you leaving your current job", "how do you prioritize your work",
    "tell me about a time you showed leadership", "how do you handle feedback",
    "do you have any questions for us", "what are your salary expectations",
    "tell me about a difficult bug you fixed", "how do you keep your skills up to date",
    "describe your ideal team", "what did you learn from your last project",
    "how would you design a url shortener", "how would you design a chat application",
    "how would you design a rate limiter", "how would you scale a web application",
    "how would you design a news feed", "how would you design a notification system",
    "how do you debug a production incident", "how do you ensure code quality",
]


def words(text):
    return re.findall(r"[a-z0-9']+", text.lower())


def read_dictionary(path):
    pronunciations = {}
    with open(path, encoding="utf-8", errors="replace") as f:
        for line in f:
            parts = line.split()
            if parts and "(" not in parts[0]:
                pronunciations.setdefault(parts[0], " ".join(parts[1:]))
    return pronunciations


def compounds(path, dictionary):
    result = {}
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.split("#", 1)[0].strip()
            if not line:
                continue
            word, parts = (s.strip() for s in line.split("=", 1))
            phones = [dictionary.get(p) for p in parts.split()]
            if None in phones:
                sys.exit(f"{word}: a part is missing from the dictionary")
            result[word] = " ".join(phones)
    return result


def corpus(knowledge_base):
    entries = json.load(open(knowledge_base))["entries"]
    sentences = [entry["question"] for entry in entries]
    for entry in entries:
        sentences += re.split(r"[.;:!?()]+|, | - ", entry["answer"])
    sentences += BEHAVIOURAL
    sentences += [t.format(t=topic) for topic in TOPICS for t in TEMPLATES]
    sentences += [t.format(a=a, b=b) for a, b in PAIRS for t in PAIR_TEMPLATES]
    return [words(s) for s in sentences]


def build_arpa(sentences, vocabulary):
    counts = [collections.Counter() for _ in range(3)]
    for sentence in sentences:
        tokens = ["<s>"] + [w if w in vocabulary else "<unk>" for w in sentence] + ["</s>"]
        for n in range(3):
            for i in range(len(tokens) - n):
                gram = tuple(tokens[i:i + n + 1])
                if gram != ("<s>",):
                    counts[n][gram] += 1
    total = sum(counts[0].values())
    unigram = {g: c / total for g, c in counts[0].items()}
    unigram[("<s>",)] = 0.0
    probability = [unigram, {}, {}]
    for n in (1, 2):
        history_totals = collections.Counter()
        for gram, c in counts[n].items():
            history_totals[gram[:-1]] += c
        for gram, c in counts[n].items():
            probability[n][gram] = (c - DISCOUNT) / history_totals[gram[:-1]]

    def lower(gram):
        # The back-off estimate of a gram from the next lower order.
        if len(gram) == 1:
            return unigram.get(gram, 0.0)
        shorter = gram[1:]
        if shorter in probability[len(shorter) - 1]:
            return probability[len(shorter) - 1][shorter]
        return backoff.get(gram[:-1][1:], 1.0) * lower(shorter)

    backoff = {}
    for n in (0, 1):
        followers = collections.defaultdict(list)
        for gram in probability[n + 1]:
            followers[gram[:-1]].append(gram)
        for history, grams in followers.items():
            left = 1.0 - sum(probability[n + 1][g] for g in grams)
            lower_mass = 1.0 - sum(lower(g) for g in grams)
            backoff[history] = left / lower_mass if lower_mass > 1e-9 else 1.0

    def log10(p):
        return math.log10(p) if p > 0 else -99.0

    lines = ["\\data\\"] + [f"ngram {n + 1}={len(probability[n])}" for n in range(3)] + [""]
    for n in range(3):
        lines.append(f"\\{n + 1}-grams:")
        for gram in sorted(probability[n]):
            line = f"{log10(probability[n][gram]):.4f}\t{' '.join(gram)}"
            if n < 2:
                line += f"\t{log10(backoff.get(gram, 1.0)):.4f}"
            lines.append(line)
        lines.append("")
    lines.append("\\end\\")
    return "\n".join(lines) + "\n"


def main():
    if len(sys.argv) != 6:
        sys.exit("usage: build_speech_model.py KNOWLEDGE_BASE DICTIONARY COMPOUNDS OUT_ARPA OUT_DICT")
    knowledge_base, dictionary_path, compounds_path, out_arpa, out_dict = sys.argv[1:]
    dictionary = read_dictionary(dictionary_path)
    extra = compounds(compounds_path, dictionary)
    vocabulary = set(dictionary) | set(extra)
    with open(out_arpa, "w") as f:
        f.write(build_arpa(corpus(knowledge_base), vocabulary))
    with open(out_dict, "w") as f:
        for word, phones in sorted(extra.items()):
            f.write(f"{word} {phones}\n")


main()
