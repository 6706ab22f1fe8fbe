// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "session/SessionManager.h"

namespace orvane {

// The technical words interviews are full of, handed to every recognition as hints.
const std::vector<std::string>& SessionManager::contextualStrings() {
    static const std::vector<std::string> terms = {
        "SQL",        "NoSQL",        "PostgreSQL",    "MySQL",
        "SQLite",     "MongoDB",      "Redis",         "DynamoDB",
        "Cassandra",  "TypeORM",      "Prisma",        "Drizzle",
        "JavaScript", "TypeScript",   "Python",        "Rust",
        "Go",         "Swift",        "Kotlin",        "Node.js",
        "Deno",       "Bun",          "React",         "Angular",
        "Vue",        "Next.js",      "Express",       "NestJS",
        "FastAPI",    "Django",       "Rails",         "Spring Boot",
        "Expo",       "React Native", "AWS",           "GCP",
        "Azure",      "Docker",       "Kubernetes",    "Terraform",
        "Pulumi",     "S3",           "EC2",           "Lambda",
        "CloudFront", "ECS",          "EKS",           "API",
        "REST",       "GraphQL",      "gRPC",          "WebSocket",
        "SSE",        "OAuth",        "JWT",           "CORS",
        "CI/CD",      "DevOps",       "microservices", "async",
        "await",      "middleware",   "ORM",           "CRUD",
        "HashMap",    "linked list",  "binary tree",   "recursion",
        "Big O",      "algorithm",    "LeetCode",      "system design",
        "Git",        "GitHub",       "GitLab",        "npm",
        "pnpm",       "yarn",         "Webpack",       "Vite",
        "ESLint",     "Prettier"};
    return terms;
}

}  // namespace orvane
